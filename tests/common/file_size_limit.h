// A disk that is full beyond `size` bytes for every file the process writes,
// for the life of the guard: writes past it fail with EFBIG.
#pragma once

#include <csignal>
#include <sys/resource.h>

class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t size) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        struct rlimit limit = saved_;
        limit.rlim_cur = size;
        previous_ = signal(SIGXFSZ, SIG_IGN);
        set_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        signal(SIGXFSZ, previous_);
    }
    bool set() const { return set_; }

  private:
    struct rlimit saved_;
    void (*previous_)(int);
    bool set_;
};
