// Runs the state manager daemon in a forked child of the test, on a socket of
// its own that STATEMGR_SOCKET then names, so the code under test talks to
// the real daemon.
#pragma once

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/statemgr/statemgrd.h"
#include "platform/statemgr/stmcc.h"

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
        unlink(address().c_str());
        rmdir(dir_.c_str());
    }

    std::string address() const { return dir_ + "/sock"; }

    // The socket listens before the fork, so clients may connect at once.
    bool start() {
        int listen_fd = statemgrd_listen(address().c_str());
        if (listen_fd < 0)
            return false;
        const pid_t test = getpid();
        pid_ = fork();
        if (pid_ == 0) {
            // A test program that aborts must not leave its daemon behind,
            // holding the pipes that the test runner waits on.
            if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != test)
                _exit(1);
            static volatile sig_atomic_t never = 0;
            _exit(statemgrd_serve(listen_fd, &never));
        }
        close(listen_fd);
        return pid_ > 0;
    }

    // The daemon dies without a word: its clients see their connection end,
    // and its socket file stays behind with nobody listening.
    void stop() {
        if (pid_ <= 0)
            return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

  private:
    std::string dir_;
    pid_t pid_ = -1;
};

// A started client of the daemon at STATEMGR_SOCKET (record id 7); null when
// it could not start.
inline stmcc_t* started_client(const char* name) {
    stmcc_t* handle = stmcc_new();
    stmcc_client_rec_t record = {7, {}};
    snprintf(record.name, sizeof record.name, "%s", name);
    if (stmcc_start_as_msg_queue_client(handle, record) == STMCC_OK)
        return handle;
    stmcc_delete(handle);
    return nullptr;
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
