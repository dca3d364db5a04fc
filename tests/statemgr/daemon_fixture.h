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
    // A scratch folder with a short path: socket paths hold 107 characters.
    StateManagerDaemon() {
        char pattern[] = "/tmp/stmtest.XXXXXX";
        dir_ = mkdtemp(pattern) != nullptr ? pattern : "/tmp";
        setenv("STATEMGR_SOCKET", address().c_str(), 1);
    }

    ~StateManagerDaemon() {
        stop();
        unlink(log_path().c_str());
        unlink(address().c_str());
        rmdir(dir_.c_str());
    }

    const std::string& dir() const { return dir_; }
    std::string address() const { return dir_ + "/sock"; }

    // The socket listens before the fork, so clients may connect at once.
    // SIGTERM stays blocked in the child until it serves, so an early stop
    // reaches the daemon's handler instead of killing the child.
    bool start() {
        int listen_fd = statemgrd_listen(address().c_str());
        if (listen_fd < 0)
            return false;
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
        std::ifstream in(log_path());
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
    std::string log_path() const { return dir_ + "/daemon.log"; }

    static inline volatile sig_atomic_t stopping = 0;
    static void on_term(int) { stopping = 1; }

    [[noreturn]] void serve_in_child(int listen_fd) {
        syslog_capture::clear();
        signal(SIGTERM, on_term);
        statemgrd_serve(listen_fd, &stopping);
        if (FILE* log = fopen(log_path().c_str(), "w")) {
            for (const LoggedLine& line : syslog_capture::lines())
                fputs(line.text.c_str(), log);
            fclose(log);
        }
        _exit(0);
    }

    std::string dir_;
    pid_t pid_ = -1;
};

// A started client of the daemon at STATEMGR_SOCKET (record id 7); null when
// it could not start.
inline stmcc_t* started_client(const char* name) {
    stmcc_t* handle = stmcc_new();
    stmcc_client_rec_t record = {7, {}};
    snprintf(record.name, sizeof record.name, "%s", name);
    if (stmcc_start_as_msg_queue_client(handle, record) != STMCC_OK) {
        stmcc_delete(handle);
        return nullptr;
    }
    return handle;
}

// What the daemon reports of the client named `name`; false when no such
// client is connected.
inline bool client_known(stmcc_t* observer, const std::string& name, uint32_t* requests,
                         int* id = nullptr) {
    char found[256];
    int found_id = 0;
    for (int index = 0; stmcc_client_info(observer, index, found, &found_id, requests) == 0;
         index++) {
        if (name == found) {
            if (id != nullptr)
                *id = found_id;
            return true;
        }
    }
    return false;
}
