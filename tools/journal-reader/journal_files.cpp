#include "tools/journal-reader/journal_files.h"

#include <climits>
#include <cstdlib>
#include <vector>

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

std::vector<std::string> path_parts(const std::string& path) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t end; start <= path.size(); start = end + 1) {
        end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        if (end > start)
            parts.push_back(path.substr(start, end - start));
    }
    return parts;
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
    std::string folder = resolved_path(path);
    if (folder.empty())
        return "";
    folder.erase(folder.rfind('/'));
    return folder.substr(folder.rfind('/') + 1);
}

std::string resolved_path(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) != nullptr ? resolved : "";
}

std::string relative_path(const std::string& from, const std::string& to) {
    const std::vector<std::string> from_parts = path_parts(from);
    const std::vector<std::string> to_parts = path_parts(to);
    size_t shared = 0;
    while (shared < from_parts.size() && shared < to_parts.size() &&
           from_parts[shared] == to_parts[shared])
        ++shared;
    std::string path;
    for (size_t i = shared; i < from_parts.size(); ++i)
        path += "../";
    for (size_t i = shared; i < to_parts.size(); ++i)
        path += to_parts[i] + (i + 1 < to_parts.size() ? "/" : "");
    if (path.empty())
        return ".";
    if (path.back() == '/')
        path.pop_back();
    return path;
}
