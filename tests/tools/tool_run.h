// Runs a tool's main function in-process and keeps what it wrote, in a
// folder of the test's own.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tests/common/files.h"
#include "tests/common/golden.h"

// Every tool test shows local times in one zone, two hours east of UTC
// with summer time, set before any test runs.
inline const bool TOOL_TESTS_ZONE =
    (setenv("TZ", "EET-2EEST,M3.5.0/3,M10.5.0/4", 1), tzset(), true);

using ToolMain = int (*)(int, char**, FILE*, FILE*);

// An in-memory stream and, once it is closed, what was written to it.
struct StreamCapture {
    char* buffer = nullptr;
    size_t size = 0;
    FILE* stream = open_memstream(&buffer, &size);
    std::string text() {
        fclose(stream);
        std::string written(buffer, size);
        free(buffer);
        return written;
    }
};

// The words of `line`, split at white space.
inline std::vector<std::string> words_of(const std::string& line) {
    std::istringstream split(line);
    return {std::istream_iterator<std::string>(split), std::istream_iterator<std::string>()};
}

// Runs of a tool written down as a terminal shows them, for a golden file:
// each command line's `args` after "$ ", its output, its errors each marked
// "! ", and its exit status when it is not 0.
struct Transcript {
    // A last argument ">/dev/full" sends the output there.
    int run(ToolMain tool_main, std::vector<std::string> words,
            const std::vector<std::string>& args) {
        const bool full = !args.empty() && args.back() == ">/dev/full";
        words.insert(words.end(), args.begin(), args.end() - full);
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(&word[0]);
        argv.push_back(nullptr);
        StreamCapture out_stream, err_stream;
        FILE* to = full ? fopen("/dev/full", "w") : out_stream.stream;
        const int status =
            tool_main(static_cast<int>(words.size()), argv.data(), to, err_stream.stream);
        if (full)
            fclose(to);
        out = out_stream.text();
        err = err_stream.text();
        std::string line = "$";
        for (const std::string& arg : args)
            line += " " + arg;
        note(line, status);
        return status;
    }
    // Adds a run written as `line` that left `out`, `err` and `status`.
    void note(const std::string& line, int status) {
        text += line + "\n" + out;
        std::istringstream lines(err);
        for (std::string each; std::getline(lines, each);)
            text += "! " + each + "\n";
        if (status != 0)
            text += "exit " + std::to_string(status) + "\n";
    }
    std::string text;
    std::string out, err; // of the last run
};

// `text` with \n, \r, \0 and \xNN turned into their bytes.
inline std::string unescaped(const std::string& text) {
    std::string bytes;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            bytes += text[i];
            continue;
        }
        const char kind = text[++i];
        if (kind == 'x') {
            bytes += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            bytes += kind == 'n' ? '\n' : kind == 'r' ? '\r' : kind == '0' ? '\0' : kind;
        }
    }
    return bytes;
}

// A test of one tool: its folder, and the tool's runs in a transcript
// whose scratch paths read "DIR".
class ToolTest : public ::testing::Test {
  protected:
    ToolTest(ToolMain tool, const char* name, std::vector<std::string> words)
        : tool_(tool), dir_(empty_scratch_dir(name)), words_(std::move(words)) {}

    int run(const std::string& line) { return run_words(words_of(line)); }
    // A change of the watched file's bytes is noted in the transcript with
    // a mark of the new bytes, so that equal marks show equal files.
    int run_words(const std::vector<std::string>& args) {
        const int status = runs_.run(tool_, words_, args);
        const std::string mark = mark_of(watched_);
        if (mark != watched_mark_)
            runs_.text += "~ " + watched_ + " " + mark + "\n";
        watched_mark_ = mark;
        return status;
    }
    // Whether the runs so far wrote what tests/tools/golden/`name` holds.
    ::testing::AssertionResult runs_match(const std::string& name) {
        return matches_golden("tools/golden/" + name, replaced(runs_.text, dir_, "DIR"));
    }
    // Takes the steps that tests/tools/golden/`name` shows and compares the
    // new transcript with it: "$ ARGS" runs the tool, "> FILE BYTES" writes
    // a file of the folder (with the escapes of `unescaped`, and "DIR" for
    // the folder), and "# " lines say why.
    ::testing::AssertionResult script_matches(const std::string& name) {
        std::istringstream lines(read_text_file(DRAVEL_TOOLS_GOLDEN + name));
        for (std::string line; std::getline(lines, line);) {
            if (line == "$" || line.rfind("$ ", 0) == 0) {
                run(replaced(line.substr(1), "DIR", dir_));
            } else if (line.rfind("> ", 0) == 0 || line.rfind("# ", 0) == 0) {
                runs_.text += line + "\n";
                const size_t space = std::min(line.find(' ', 2), line.size());
                if (line[0] == '>')
                    file(line.substr(2, space - 2),
                         unescaped(
                             replaced(line.substr(std::min(space + 1, line.size())), "DIR", dir_)));
                watched_mark_ = mark_of(watched_);
            }
        }
        return runs_match(name);
    }
    std::string file(const std::string& name, const std::string& bytes) {
        write_text_file(dir_ + "/" + name, bytes);
        return dir_ + "/" + name;
    }

    const ToolMain tool_;
    const std::string dir_;
    std::vector<std::string> words_; // before those of each run's line
    std::string watched_, watched_mark_;
    Transcript runs_;
    const std::string& out_ = runs_.out; // of the last run
    const std::string& err_ = runs_.err;

    static std::string mark_of(const std::string& path) {
        if (path.empty() || !exists(path))
            return "";
        uint32_t hash = 2166136261u;
        for (const char byte : read_text_file(path))
            hash = (hash ^ static_cast<unsigned char>(byte)) * 16777619u;
        char mark[16];
        snprintf(mark, sizeof mark, "%08x", hash);
        return mark;
    }
};
