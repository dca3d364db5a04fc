#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

#include "tools/accessbase/access_edit.h"
#include "tools/accessbase/access_file.h"
#include "tools/accessbase/accessbase_settings.h"
#include "tools/accessbase/base_lock.h"
#include "tools/accessbase/notify.h"
#include "tools/accessbase/output_target.h"
#include "tools/accessbase/tool_files.h"
#include "tools/cp1251_text/shown_text.h"

namespace {

// Messages may quote what came from a file; written by length, so that
// nothing in them can cut them short.
void report(FILE* err, const std::string& kind, const std::string& message) {
    const std::string line = "accessbase: " + kind + message + "\n";
    fwrite(line.data(), 1, line.size(), err);
}

void warn(FILE* err, const std::vector<std::string>& notes) {
    for (const std::string& note : notes)
        report(err, "warning: ", note);
}

// A full disk or a reader that went away is an error, never a silent 0.
int put_output(FILE* out, const std::string& text, FILE* err) {
    if (fwrite(text.data(), 1, text.size(), out) != text.size() || fflush(out) != 0 ||
        ferror(out) != 0)
        return failed(err, std::string("cannot write the output: ") + strerror(errno));
    return DONE;
}

// The start of a file that turned out not to be an access base, when it is
// text: what was found, for the message.
std::string text_beginning(const std::string& path) {
    std::string bytes;
    std::string error;
    if (read_whole_file(path, &bytes, &error) != 0)
        return "";
    const std::string start = bytes.substr(0, 24);
    for (char c : start) {
        if ((c < ' ' || c > '~') && c != '\n' && c != '\r' && c != '\t')
            return "";
    }
    return "; it begins with the text " + quoted_excerpt(start, 24);
}

// The records of an existing base. Trailing bytes that make no whole record
// mean that this is most likely not an access base at all: an edit would
// turn it into records and drop its tail, so only --force goes on.
int read_base(const Settings& settings, const std::string& path, bool editing,
              std::vector<_access_rec_t>* records, FILE* err) {
    std::string error;
    size_t ignored = 0;
    if (read_access_file(path, records, &ignored, &error) != 0)
        return failed(err, error);
    if (ignored == 0)
        return DONE;
    const std::string found = path + " holds " + std::to_string(records->size()) +
                              " records of 116 bytes and " + std::to_string(ignored) +
                              " bytes more, so it may not be an access base" + text_beginning(path);
    if (editing && !settings.force)
        return failed(err, found + "; give --force to keep the whole records and drop the rest");
    report(err, "warning: ", found + "; the service ignores the trailing bytes");
    return DONE;
}

std::string source_name(const Settings& settings) {
    return settings.arguments[0] == "-" ? "standard input" : settings.arguments[0];
}

// An import replaces every entry: an empty or much smaller one is far more
// often a failed backup than a wish, and needs saying so.
int check_import_size(const Settings& settings, const std::string& path,
                      const std::vector<_access_rec_t>& before,
                      const std::vector<_access_rec_t>& after, FILE* err) {
    if (after.empty()) {
        if (settings.allow_empty)
            return DONE;
        return failed(err, source_name(settings) + " holds no entries, so the import would leave " +
                               path + " empty; give --allow-empty to do that");
    }
    std::unordered_set<std::string> kept;
    for (const _access_rec_t& record : after)
        kept.insert(access_pattern(record));
    size_t dropped = 0;
    for (const _access_rec_t& record : before)
        dropped += kept.count(access_pattern(record)) == 0 ? 1 : 0;
    if (2 * dropped <= before.size() || settings.replace)
        return DONE;
    return failed(err, "the import would drop " + std::to_string(dropped) + " of the " +
                           std::to_string(before.size()) + " entries of " + path +
                           " (their patterns are not in " + source_name(settings) +
                           "); give --replace to do that");
}

int write_and_notify(const Settings& settings, const std::string& path,
                     const std::vector<_access_rec_t>& records, FILE* err) {
    std::string error;
    if (write_access_file(path, records, &error) != 0)
        return failed(err, error);
    pid_t pid = settings.notify_pid;
    if (!settings.pid_file.empty() && read_pid_file(settings.pid_file, &pid, &error) != 0)
        return failed(err, "the base was written, but " + error);
    if (pid != 0 && notify_service(pid, &error) != 0)
        return failed(err, "the base was written, but " + error);
    return DONE;
}

// An existing base may be replaced only when it is a regular file the
// operator means to write.
int check_existing(const Settings& settings, const std::string& path, const struct stat& st,
                   FILE* err) {
    if (!S_ISREG(st.st_mode))
        return failed(err, path + " is not a regular file, so it is not an access base");
    if (settings.force)
        return DONE;
    if (settings.command == "create")
        return failed(err, path + " already exists");
    if ((st.st_mode & 0222) == 0 || access(path.c_str(), W_OK) != 0)
        return failed(err, path + " is read-only; give --force to replace it all the same");
    return DONE;
}

// create, add, edit (the operator's page), remove and import: read, change and replace the base
// under its lock. `imported` holds the entries of an import.
int edit(const Settings& settings, const std::vector<_access_rec_t>* imported, FILE* err) {
    std::string path;
    std::string error;
    BaseLock lock;
    if (resolve_links(settings.file, &path, &error) != 0 ||
        lock_base(path, settings.wait_seconds, &lock, &error) != 0)
        return failed(err, error);
    std::vector<std::string> notes;
    remove_left_temporaries(path, &notes);
    for (std::string& note : notes)
        note = "removed " + note + ", left behind by an editor that was stopped";
    warn(err, notes);
    notes.clear();

    struct stat st;
    const bool exists = stat(path.c_str(), &st) == 0;
    std::vector<_access_rec_t> records;
    if (exists && check_existing(settings, path, st, err) != DONE)
        return FAILED;
    const std::string& command = settings.command;
    const bool reads = command == "add" || command == "edit" || command == "remove" ||
                       (command == "import" && exists);
    if (reads && read_base(settings, path, true, &records, err) != DONE)
        return FAILED;
    int changed = 0;
    if (command == "create") {
        records.clear();
    } else if (command == "import") {
        if (check_import_size(settings, path, records, *imported, err) != DONE)
            return FAILED;
        records = *imported;
    } else if (command == "add" || command == "edit") {
        AccessRow row = settings.row;
        row.number = settings.arguments[0];
        changed = command == "add" ? add_access_entry(&records, row, &notes, &error)
                                   : replace_access_entry(&records, row, &notes, &error);
    } else {
        changed = remove_access_entries(&records, settings.arguments[0], &notes, &error);
    }
    warn(err, notes);
    if (changed != 0)
        return failed(err, error);
    return write_and_notify(settings, path, records, err);
}

// The text of an import, from a regular file or from standard input ("-").
// A line longer than any entry's ends the reading at once, so that an
// endless stream without line ends is never taken in.
int read_import(const std::string& source, std::string* text, std::string* error) {
    FILE* file = source == "-" ? stdin : open_input(source, error);
    if (file == nullptr)
        return -1;
    std::string line;
    bool too_long = false;
    long got;
    int number = 1;
    while ((got = read_capped_line(file, true, &line, &too_long)) > 0 && !too_long) {
        text->append(line);
        ++number;
    }
    if (got < 0)
        *error = std::string("cannot read: ") + strerror(errno);
    else if (too_long)
        *error = "line " + std::to_string(number) + " is longer than " +
                 std::to_string(TEXT_LINE_MAX) + " bytes";
    if (file != stdin)
        fclose(file);
    return got < 0 || too_long ? -1 : 0;
}

int import(const Settings& settings, FILE* err) {
    const std::string& source = settings.arguments[0];
    std::string csv;
    std::string error;
    std::vector<_access_rec_t> records;
    std::vector<std::string> notes;
    if (read_import(source, &csv, &error) != 0 ||
        import_access_csv(csv, &records, &notes, &error) != 0)
        return failed(err, source_name(settings) + ": " + error);
    warn(err, notes);
    return edit(settings, &records, err);
}

} // namespace

int failed(FILE* err, const std::string& message) {
    report(err, "", message);
    return FAILED;
}

int run_command(const Settings& settings, FILE* out, FILE* err) {
    const std::string& command = settings.command;
    if (command == "import")
        return import(settings, err);
    if (command != "list" && command != "export")
        return edit(settings, nullptr, err);
    std::vector<_access_rec_t> records;
    if (read_base(settings, settings.file, false, &records, err) != DONE)
        return FAILED;
    if (command == "list")
        return put_output(out, list_access_entries(records), err);
    const std::string csv = export_access_csv(records);
    const std::string target = settings.arguments.empty() ? "-" : settings.arguments[0];
    if (target == "-")
        return put_output(out, csv, err);
    std::string error;
    return write_output(target, {settings.file}, csv, &error) == 0 ? DONE : failed(err, error);
}
