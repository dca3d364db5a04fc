#include <algorithm>
#include <cstdio>
#include <ctime>

#include "platform/statemgr/statemgrd.h"
#include "platform/statemgr/statemgrd_state.h"
#include "platform/statemgr/stmcc.h"

namespace {

bool subscribed(const stmd_client& client, const char* name) {
    return std::find(client.subscriptions.begin(), client.subscriptions.end(), name) !=
           client.subscriptions.end();
}

void queue_change(stmd_client& client, const char* name, int32_t value) {
    if (client.queue.size() >= STMD_MAX_QUEUED) {
        statemgrd_log("client '%.*s' does not take its changes, oldest one dropped\n",
                      STM_NAME_SIZE, client.name);
        client.queue.pop_front();
    }
    client.queue.push_back({name, value});
}

// Every set and every event goes to the subscribers of its name and to the
// watchers, also when a state keeps its value.
void publish(stmd_daemon& daemon, int kind, const char* name, int32_t value) {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    stm_msg_t notice = stm_message(STM_NOTICE);
    notice.extra = kind;
    notice.value = value;
    notice.seconds = now.tv_sec;
    notice.microseconds = static_cast<int32_t>(now.tv_nsec / 1000);
    snprintf(notice.name, sizeof notice.name, "%.*s", STMCC_NAME_MAX, name);
    for (stmd_client& client : daemon.clients) {
        if (!client.started || client.gone)
            continue;
        if (subscribed(client, name))
            queue_change(client, name, value);
        if (client.watcher)
            stmd_send(client, notice);
    }
}

int hello(stmd_client& client, const stm_msg_t& request) {
    if (client.started)
        return STMCC_ERR_STARTED;
    if (!stm_valid_client_name(request.name))
        return STMCC_ERR_NAME;
    snprintf(client.name, sizeof client.name, "%.*s", STM_NAME_SIZE, request.name);
    client.id = request.value;
    client.started = true;
    return STMCC_OK;
}

int subscribe(stmd_client& client, const char* name) {
    if (subscribed(client, name))
        return STMCC_OK;
    if (client.subscriptions.size() >= STMD_MAX_SUBSCRIPTIONS)
        return STMCC_ERR_FULL;
    client.subscriptions.push_back(name);
    return STMCC_OK;
}

int next_change(stmd_client& client, stm_msg_t& reply) {
    if (client.queue.empty())
        return STMCC_NO_CHANGE;
    const stmd_change& change = client.queue.front();
    snprintf(reply.name, sizeof reply.name, "%s", change.name.c_str());
    reply.value = change.value;
    client.queue.pop_front();
    return STMCC_OK;
}

int set_state(stmd_daemon& daemon, const char* name, int32_t value) {
    auto found = daemon.states.find(name);
    if (found == daemon.states.end()) {
        if (daemon.states.size() >= STMD_MAX_STATES)
            return STMCC_ERR_FULL;
        daemon.states.emplace(name, value);
    } else {
        found->second = value;
    }
    publish(daemon, STMCC_NOTICE_STATE, name, value);
    return STMCC_OK;
}

int get_state(const stmd_daemon& daemon, const char* name, stm_msg_t& reply) {
    auto found = daemon.states.find(name);
    if (found == daemon.states.end())
        return STMCC_ERR_UNKNOWN;
    reply.value = found->second;
    return STMCC_OK;
}

int client_info(const stmd_daemon& daemon, int32_t index, stm_msg_t& reply) {
    int32_t seen = 0;
    for (const stmd_client& other : daemon.clients) {
        // A client that hung up in this same round is not reported.
        if (!other.started || other.gone)
            continue;
        if (seen++ != index)
            continue;
        snprintf(reply.name, sizeof reply.name, "%.*s", STM_NAME_SIZE, other.name);
        reply.value = static_cast<int32_t>(other.requests);
        reply.extra = other.id;
        return STMCC_OK;
    }
    return STMCC_ERR_UNKNOWN;
}

bool names_item(uint32_t type) {
    return type == STM_SUBSCRIBE || type == STM_SET || type == STM_GET || type == STM_NOTIFY;
}

int dispatch(stmd_daemon& daemon, stmd_client& client, const stm_msg_t& request, stm_msg_t& reply) {
    if (request.type == STM_HELLO)
        return hello(client, request);
    if (!client.started)
        return STMCC_ERR_NOT_STARTED;
    if (names_item(request.type) && !stm_valid_item_name(request.name))
        return STMCC_ERR_NAME;
    switch (request.type) {
    case STM_SUBSCRIBE:
        return subscribe(client, request.name);
    case STM_NEXT_CHANGE:
        return next_change(client, reply);
    case STM_SET:
        return set_state(daemon, request.name, request.value);
    case STM_GET:
        return get_state(daemon, request.name, reply);
    case STM_NOTIFY:
        publish(daemon, STMCC_NOTICE_EVENT, request.name, request.value);
        return STMCC_OK;
    case STM_WATCH:
        client.watcher = true;
        return STMCC_OK;
    case STM_CLIENT_INFO:
        return client_info(daemon, request.value, reply);
    }
    return STMCC_ERR_ARGUMENT;
}

} // namespace

stm_msg_t stmd_answer(stmd_daemon& daemon, stmd_client& client, const stm_msg_t& request) {
    stm_msg_t reply = stm_message(STM_REPLY);
    reply.seq = request.seq;
    reply.code = dispatch(daemon, client, request, reply);
    return reply;
}
