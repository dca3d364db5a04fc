// Runs the state manager daemon in a forked child of the test, on a socket of
// its own that STATEMGR_SOCKET then names, so the library under test talks to
// the real daemon. The child's log lines come back when it is stopped.
#pragma once

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/statemgr/statemgrd.h"
#include "platform/statemgr/stmcc.h"
#include "tests/common/syslog_capture.h"

class StateManagerDaemon {
  public:
    // A scratch folder with a short path: socket paths are limited to 107
    // characters.
    StateManagerDaemon() {
        char pattern[] = "/tmp/stmtest.XXXXXX";
        if (mkdtemp(pattern) != nullptr)
            dir_ = pattern;
        address_ = dir_ + "/sock";
        log_path_ = dir_ + "/daemon.log";
        setenv("STATEMGR_SOCKET", address_.c_str(), 1);
    }

    ~StateManagerDaemon() {
        stop();
        unlink(log_path_.c_str());
        unlink(address_.c_str());
        rmdir(dir_.c_str());
    }

    const std::string& address() const { return address_; }
    const std::string& dir() const { return dir_; }

    // The socket listens before the fork, so clients may connect at once.
    bool start() {
        int listen_fd = statemgrd_listen(address_.c_str());
        if (listen_fd < 0)
            return false;
        // SIGTERM stays blocked in the child until it serves, so a stop that
        // comes early is kept for the daemon rather than killing the child.
        sigset_t term, old;
        sigemptyset(&term);
        sigaddset(&term, SIGTERM);
        sigprocmask(SIG_BLOCK, &term, &old);
        pid_ = fork();
        if (pid_ == 0)
            serve_in_child(listen_fd);
        sigprocmask(SIG_SETMASK, &old, nullptr);
        close(listen_fd);
        return pid_ > 0;
    }

    // Stops the daemon as its SIGTERM would and returns what it logged.
    std::string stop() {
        if (pid_ <= 0)
            return "";
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
        std::ifstream in(log_path_);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // The daemon dies without a word: its clients see their connection end.
    void kill_now() {
        if (pid_ <= 0)
            return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

  private:
    static volatile sig_atomic_t& stop_flag() {
        static volatile sig_atomic_t flag;
        return flag;
    }

    static void on_term(int) { stop_flag() = 1; }

    [[noreturn]] void serve_in_child(int listen_fd) {
        syslog_capture::clear();
        stop_flag() = 0;
        signal(SIGTERM, on_term);
        statemgrd_serve(listen_fd, &stop_flag());
        if (FILE* log = fopen(log_path_.c_str(), "w")) {
            for (const LoggedLine& line : syslog_capture::lines())
                fputs(line.text.c_str(), log);
            fclose(log);
        }
        _exit(0);
    }

    std::string dir_;
    std::string address_;
    std::string log_path_;
    pid_t pid_ = -1;
};

// A started client of the daemon at STATEMGR_SOCKET; null when it could not
// start.
inline stmcc_t* started_client(const char* name) {
    stmcc_t* handle = stmcc_new();
    stmcc_client_rec_t record;
    memset(&record, 0, sizeof record);
    record.id = 7;
    snprintf(record.name, sizeof record.name, "%s", name);
    if (stmcc_start_as_msg_queue_client(handle, record) != STMCC_OK) {
        stmcc_delete(handle);
        return nullptr;
    }
    return handle;
}

// What the daemon reports of the client named `name` through `observer`;
// false when no such client is connected.
inline bool client_known(stmcc_t* observer, const std::string& name, uint32_t* requests,
                         int* id = nullptr) {
    for (int index = 0;; index++) {
        char found[256];
        int found_id = 0;
        uint32_t count = 0;
        if (stmcc_client_info(observer, index, found, &found_id, &count) != STMCC_OK)
            return false;
        if (name == found) {
            *requests = count;
            if (id != nullptr)
                *id = found_id;
            return true;
        }
    }
}
