// Runs a tool's main function in-process and keeps what it wrote, in a
// folder of the test's own.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <ftw.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tests/common/golden.h"
#include "tests/support/scratch_dir.h"

// Every tool test shows local times in one zone, two hours east of UTC
// with summer time, set before any test runs.
inline const bool TOOL_TESTS_ZONE =
    (setenv("TZ", "EET-2EEST,M3.5.0/3,M10.5.0/4", 1), tzset(), true);

using ToolMain = int (*)(int, char**, FILE*, FILE*);

// A record as the bytes of a file or a block.
template <typename Record> std::string bytes_of(const Record& record) {
    return std::string(reinterpret_cast<const char*>(&record), sizeof record);
}

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
    std::vector<std::string> words;
    for (std::string word; split >> word;)
        words.push_back(word);
    return words;
}

// `words` and then `args` are the command line; the tool writes its output
// to `out` and its errors to `err`. The exit status.
inline int run_tool_into(ToolMain tool_main, std::vector<std::string> words,
                         const std::vector<std::string>& args, FILE* out, std::string* err) {
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(&word[0]);
    argv.push_back(nullptr);
    StreamCapture err_stream;
    const int status =
        tool_main(static_cast<int>(words.size()), argv.data(), out, err_stream.stream);
    *err = err_stream.text();
    return status;
}

// Runs of a tool written down as a terminal shows them, for a golden file:
// each command line's `args` after "$ ", its output, its errors each marked
// "! ", and its exit status when it is not 0.
struct Transcript {
    int run(ToolMain tool_main, const std::vector<std::string>& words,
            const std::vector<std::string>& args) {
        StreamCapture out_stream;
        const int status = run_tool_into(tool_main, words, args, out_stream.stream, &err);
        out = out_stream.text();
        text += "$";
        for (const std::string& arg : args)
            text += " " + arg;
        text += "\n" + out;
        std::istringstream lines(err);
        for (std::string each; std::getline(lines, each);)
            text += "! " + each + "\n";
        if (status != 0)
            text += "exit " + std::to_string(status) + "\n";
        return status;
    }
    std::string text;
    std::string out, err; // of the last run
};

// A scratch folder of its own for a test, emptied of an earlier run's files.
inline std::string empty_scratch_dir(const std::string& name) {
    const std::string root = scratch_dir(name);
    nftw(
        root.c_str(),
        [](const char* path, const struct stat*, int, struct FTW*) { return remove(path), 0; }, 16,
        FTW_DEPTH | FTW_PHYS);
    mkdir(root.c_str(), 0700);
    return root;
}

// A test of one tool: its folder, and the tool's runs in a transcript
// whose scratch paths read "DIR".
class ToolTest : public ::testing::Test {
  protected:
    ToolTest(ToolMain tool, const char* name, std::vector<std::string> words)
        : tool_(tool), dir_(empty_scratch_dir(name)), words_(std::move(words)) {}

    int run(const std::string& line) { return run_words(words_of(line)); }
    int run_words(const std::vector<std::string>& args) { return runs_.run(tool_, words_, args); }
    // Whether the runs so far wrote what tests/tools/golden/`name` holds.
    ::testing::AssertionResult runs_match(const std::string& name) {
        return matches_golden("tools/golden/" + name, replaced(runs_.text, dir_, "DIR"));
    }
    std::string file(const std::string& name, const std::string& bytes) {
        write_text_file(dir_ + "/" + name, bytes);
        return dir_ + "/" + name;
    }

    const ToolMain tool_;
    const std::string dir_;
    std::vector<std::string> words_; // before those of each run's line
    Transcript runs_;
    const std::string& out_ = runs_.out; // of the last run
    const std::string& err_ = runs_.err;
};
