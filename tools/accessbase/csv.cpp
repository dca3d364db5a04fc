#include "tools/accessbase/csv.h"

namespace {

// LF, CR LF, or CR alone as old Macintosh programs still write.
bool line_end(const std::string& text, size_t at) {
    return text[at] == '\n' || text[at] == '\r';
}

size_t skip_line_end(const std::string& text, size_t at) {
    return at + (text.compare(at, 2, "\r\n") == 0 ? 2 : 1);
}

std::string quoted_if_needed(const std::string& field) {
    const bool plain = field.find_first_of(",\"\r\n") == std::string::npos &&
                       (field.empty() || (field.front() != ' ' && field.back() != ' '));
    if (plain)
        return field;
    std::string out = "\"";
    for (char c : field) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + '"';
}

} // namespace

int parse_csv(const std::string& text, std::vector<CsvRow>* rows, std::string* error) {
    rows->clear();
    size_t at = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    int line = 1;
    while (at < text.size()) {
        if (line_end(text, at)) { // an empty line
            at = skip_line_end(text, at);
            ++line;
            continue;
        }
        CsvRow row{line, {}};
        for (;;) {
            std::string field;
            if (text[at] == '"') {
                const int opened = line;
                for (++at;; ++at) {
                    if (at >= text.size()) {
                        *error = "line " + std::to_string(opened) + ": a quote is never closed";
                        return -1;
                    }
                    if (text[at] == '"') {
                        if (at + 1 < text.size() && text[at + 1] == '"') {
                            field += '"';
                            ++at;
                            continue;
                        }
                        ++at;
                        break;
                    }
                    if (line_end(text, at) && skip_line_end(text, at) == at + 1)
                        ++line; // a CR LF counts once, at its LF
                    field += text[at];
                }
                if (at < text.size() && text[at] != ',' && !line_end(text, at)) {
                    *error = "line " + std::to_string(line) + ": text after a closing quote";
                    return -1;
                }
            } else {
                while (at < text.size() && text[at] != ',' && !line_end(text, at))
                    field += text[at++];
            }
            row.fields.push_back(field);
            if (at < text.size() && text[at] == ',') {
                ++at;
                if (at < text.size())
                    continue;
                row.fields.emplace_back(); // a trailing comma ends in an empty field
            }
            break;
        }
        rows->push_back(row);
        if (at < text.size()) {
            at = skip_line_end(text, at);
            ++line;
        }
    }
    return 0;
}

std::string csv_line(const std::vector<std::string>& fields) {
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += ',';
        line += quoted_if_needed(fields[i]);
    }
    return line + '\n';
}
