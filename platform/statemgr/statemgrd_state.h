// What the daemon keeps between requests, and how it answers one.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/statemgr/statemgrd.h"
#include "platform/statemgr/stm_protocol.h"

struct stmd_change {
    std::string name;
    int32_t value;
};

struct stmd_client {
    int fd;
    unsigned serial; // names the connection in the log before it has a name
    bool started;
    bool watcher;
    bool gone;           // to be closed at the end of the round
    int64_t accepted_ms; // monotonic; an unstarted client is dropped after the hello timeout
    unsigned malformed;  // packets of garbage it has sent
    char name[STM_NAME_SIZE];
    int32_t id;
    uint32_t requests;
    std::vector<std::string> subscriptions;
    std::deque<stmd_change> queue;
};

struct stmd_daemon {
    std::map<std::string, int32_t> states;
    std::vector<stmd_client> clients; // in the order they connected
    unsigned next_serial;
    stmd_log_limit refusals;  // connections refused or dropped
    stmd_log_limit malformed; // packets of garbage
};

// Answers one well-formed request of `client`; what it changes is passed on to
// subscribers and watchers at once.
stm_msg_t stmd_answer(stmd_daemon& daemon, stmd_client& client, const stm_msg_t& request);

// Sends one message without waiting; a client that cannot take it is marked
// gone (logged), since it no longer reads what it asked for.
void stmd_send(stmd_client& client, const stm_msg_t& msg);
