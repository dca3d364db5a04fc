// Runs a tool's main function in-process and keeps what it wrote.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

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

// `words` and then those of `line` are the command line; the tool writes
// its output to `out` and its errors to `err`. The exit status.
inline int run_tool_into(ToolMain tool_main, std::vector<std::string> words,
                         const std::string& line, FILE* out, std::string* err) {
    std::istringstream split(line);
    for (std::string word; split >> word;)
        words.push_back(word);
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

inline int run_tool(ToolMain tool_main, const std::vector<std::string>& words,
                    const std::string& line, std::string* out, std::string* err) {
    StreamCapture out_stream;
    const int status = run_tool_into(tool_main, words, line, out_stream.stream, err);
    *out = out_stream.text();
    return status;
}

// Runs of a tool written down as a terminal shows them, for a golden file:
// each command line after "$ ", its output, its errors each marked "! ",
// and its exit status when it is not 0.
struct Transcript {
    int run(ToolMain tool_main, const std::vector<std::string>& words, const std::string& line) {
        const int status = run_tool(tool_main, words, line, &out, &err);
        text += "$ " + line + "\n" + out;
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
