#include "tools/journal-reader/journal_files.h"

#include <climits>
#include <cstdlib>

const KindName KIND_NAMES[5] = {{"occupancy", JournalKind::OCCUPANCY},
                                {"pass", JournalKind::PASS_RECORDS},
                                {"pass-csv", JournalKind::PASS_LINES},
                                {"archive", JournalKind::ARCHIVE_RECORDS},
                                {"archive-csv", JournalKind::ARCHIVE_LINES}};

namespace {

bool begins(const std::string& text, const char* start) {
    return text.compare(0, std::string(start).size(), start) == 0;
}

bool ends(const std::string& text, const char* end) {
    const std::string tail(end);
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

} // namespace

int kind_from_name(const std::string& path, JournalKind* kind) {
    const size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const struct {
        const char* start;
        const char* end;
        JournalKind kind;
    } names[] = {{"netnumbase", ".tpn", JournalKind::OCCUPANCY},
                 {"netpassbase", ".tpn", JournalKind::PASS_RECORDS},
                 {"netpassbase", ".csv", JournalKind::PASS_LINES},
                 {"", ".tpp", JournalKind::ARCHIVE_RECORDS},
                 {"passbase", ".csv", JournalKind::ARCHIVE_LINES}};
    for (const auto& known : names) {
        if (begins(name, known.start) && ends(name, known.end)) {
            *kind = known.kind;
            return 0;
        }
    }
    return -1;
}

int kind_from_option(const std::string& name, JournalKind* kind) {
    for (const KindName& known : KIND_NAMES) {
        if (name == known.name) {
            *kind = known.kind;
            return 0;
        }
    }
    return -1;
}

std::string archive_deviceid(const std::string& path) {
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) == nullptr)
        return "";
    std::string folder(resolved);
    folder.erase(folder.rfind('/'));
    return folder.substr(folder.rfind('/') + 1);
}
