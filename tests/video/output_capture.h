// Collects what the code under test writes to standard output or standard
// error while an object of this class lives.
#pragma once

#include <cstdio>
#include <string>
#include <unistd.h>

class OutputCapture {
  public:
    explicit OutputCapture(int fd) : fd_(fd), file_(tmpfile()) {
        fflush(nullptr);
        saved_ = dup(fd_);
        dup2(fileno(file_), fd_);
    }
    ~OutputCapture() {
        fflush(nullptr);
        dup2(saved_, fd_);
        close(saved_);
        fclose(file_);
    }
    OutputCapture(const OutputCapture&) = delete;
    OutputCapture& operator=(const OutputCapture&) = delete;

    // Everything written so far.
    std::string text() {
        fflush(nullptr);
        std::string all;
        char chunk[1024];
        ssize_t got;
        for (off_t at = 0; (got = pread(fileno(file_), chunk, sizeof chunk, at)) > 0; at += got)
            all.append(chunk, static_cast<size_t>(got));
        return all;
    }

  private:
    int fd_;
    FILE* file_;
    int saved_;
};
