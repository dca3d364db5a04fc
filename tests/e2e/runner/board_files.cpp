#include <cstdio>
#include <cstring>
#include <ctime>
#include <sstream>
#include <sys/stat.h>

#include "tests/e2e/board.h"
#include "tests/support/scratch_dir.h"
#include "tools/cp1251_text/cp1251_text.h"

namespace {

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// A field as the dump quotes it: "..." with \xHH for bytes it escapes.
std::string unquoted(const std::string& text, size_t* at) {
    std::string out;
    size_t i = text.find('"', *at);
    if (i == std::string::npos)
        return out;
    for (++i; i < text.size() && text[i] != '"'; ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x') {
            out += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            out += text[i];
        }
    }
    *at = i + 1;
    return out;
}

long file_size(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? static_cast<long>(info.st_size) : -1;
}

void read_passage(const std::string& line, StreamBlock* block) {
    block->passage = true;
    sscanf(line.c_str(), "  passage time %ld", &block->passage_time);
    size_t at = line.find(" number ");
    block->number = unquoted(line, &at);
    sscanf(line.c_str() + at, " kind %d in_list %d access %d", &block->kind, &block->in_list,
           &block->access);
}

template <typename Record> std::vector<Record> records_of(const std::string& path) {
    const std::string bytes = read_text_file(path);
    std::vector<Record> records(bytes.size() / sizeof(Record));
    if (!records.empty())
        memcpy(records.data(), bytes.data(), records.size() * sizeof(Record));
    return records;
}

} // namespace

BoardRun::BoardRun(const std::string& run, const std::string& board)
    : dir_(run_folder(run) + "/" + board) {}

std::string BoardRun::path(const std::string& relative) const {
    return dir_ + "/" + relative;
}

std::string BoardRun::file(const std::string& relative) const {
    return read_text_file(path(relative));
}

std::string BoardRun::end() const {
    const std::vector<std::string> lines = lines_of(file("exit"));
    return lines.empty() ? "" : lines[0];
}

std::vector<std::string> BoardRun::log() const {
    std::vector<std::string> texts;
    for (const std::string& line : lines_of(file("log"))) {
        const size_t at = line.find("]: ");
        texts.push_back(at == std::string::npos ? line : line.substr(at + 3));
    }
    return texts;
}

std::vector<std::string> BoardRun::log_starting(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const std::string& text : log())
        if (text.compare(0, prefix.size(), prefix) == 0)
            found.push_back(text);
    return found;
}

std::vector<Event> BoardRun::events() const {
    std::vector<Event> events;
    for (const std::string& line : lines_of(file("events"))) {
        char kind[16] = "", name[64] = "";
        int value = 0;
        // "YYYY-MM-DD HH:MM:SS.mmm KIND NAME VALUE"
        if (sscanf(line.c_str(), "%*s %*s %15s %63s %d", kind, name, &value) == 3)
            events.push_back({kind, name, value});
    }
    return events;
}

std::vector<Event> BoardRun::events_named(const std::string& name) const {
    std::vector<Event> found;
    for (const Event& event : events())
        if (event.name == name)
            found.push_back(event);
    return found;
}

std::vector<StreamBlock> BoardRun::stream() const {
    std::vector<StreamBlock> blocks;
    for (const std::string& line : lines_of(file("stream"))) {
        StreamBlock block;
        if (sscanf(line.c_str(), "block %ld length %ld time %lld", &block.sequence, &block.length,
                   &block.frame_time) == 3) {
            blocks.push_back(block);
        } else if (blocks.empty()) {
            continue;
        } else if (line.compare(0, 15, "  passage time ") == 0) {
            read_passage(line, &blocks.back());
            blocks.back().jpeg_bytes = file_size(
                path("stream-jpeg/block-" + std::to_string(blocks.back().sequence) + ".jpeg"));
        } else if (line.compare(0, 7, "  text ") == 0) {
            size_t at = 0;
            blocks.back().text = unquoted(line, &at);
        } else if (line.compare(0, 10, "  summary ") == 0) {
            size_t at = 0;
            blocks.back().summary = unquoted(line, &at);
        }
    }
    return blocks;
}

std::vector<StreamBlock> BoardRun::passages() const {
    std::vector<StreamBlock> found;
    for (const StreamBlock& block : stream())
        if (block.passage)
            found.push_back(block);
    return found;
}

std::vector<_parking_rec_t> BoardRun::passbase(const std::string& relative) const {
    return records_of<_parking_rec_t>(path(relative));
}

std::vector<_netpass_rec_t> netpass_records(const std::string& folder) {
    return records_of<_netpass_rec_t>(folder + "/netpassbase.tpn");
}

std::vector<_netnum_rec_t> netnum_records(const std::string& folder) {
    return records_of<_netnum_rec_t>(folder + "/netnumbase.tpn");
}

std::vector<std::string> cp1251_lines(const std::string& path) {
    std::vector<std::string> lines;
    for (const std::string& line : lines_of(read_text_file(path)))
        lines.push_back(cp1251_field_to_utf8(line.data(), line.size()));
    return lines;
}

std::vector<std::string> columns_of(const std::string& line) {
    std::vector<std::string> columns;
    size_t from = 0;
    for (size_t semicolon; (semicolon = line.find(';', from)) != std::string::npos;
         from = semicolon + 1)
        columns.push_back(line.substr(from, semicolon - from));
    columns.push_back(line.substr(from));
    return columns;
}

std::string field_text(const char* field, size_t size) {
    return cp1251_field_to_utf8(field, size);
}

std::string local_date_time(long time, int east_hours) {
    const time_t shifted = static_cast<time_t>(time + east_hours * 3600L);
    tm parts;
    gmtime_r(&shifted, &parts);
    char text[32];
    strftime(text, sizeof text, "%d-%m-%Y;%H:%M:%S", &parts);
    return text;
}

std::string archive_stamp(long time) {
    const time_t when = static_cast<time_t>(time);
    tm parts;
    gmtime_r(&when, &parts);
    char text[32];
    strftime(text, sizeof text, "%Y-%m-%d_%H-%M-%S", &parts);
    return text;
}
