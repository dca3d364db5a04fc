// Runs a tool's main function in-process and keeps what it wrote.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

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

// The command line `words` as main() gets it; `words` must outlive it.
inline std::vector<char*> argv_of(std::vector<std::string>& words) {
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(&word[0]);
    argv.push_back(nullptr);
    return argv;
}

// `words` and then those of `line` are the command line; the exit status.
inline int run_tool(int (*tool_main)(int, char**, FILE*, FILE*), std::vector<std::string> words,
                    const std::string& line, std::string* out, std::string* err) {
    std::istringstream split(line);
    for (std::string word; split >> word;)
        words.push_back(word);
    std::vector<char*> argv = argv_of(words);
    StreamCapture out_stream, err_stream;
    const int status = tool_main(static_cast<int>(words.size()), argv.data(), out_stream.stream,
                                 err_stream.stream);
    *out = out_stream.text();
    *err = err_stream.text();
    return status;
}
