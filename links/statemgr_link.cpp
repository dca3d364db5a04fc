#include "links/statemgr_link.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "support/gv.h"
#include "support/log.h"
#include "support/process_values.h"
#include "support/support_routines.h"

namespace {

const char photo_state[] = "s_make_photo";
const char signal_event[] = "e_signal0";
const int client_record_id = 80000;

// Set by a failed notification and read by main at the exit, for the
// process's exit status.
bool report_failed = false;

// A state manager that restarts takes a moment to listen again; trying more
// often than this would only cost the loop time.
constexpr time_t reconnect_seconds = 3;
// Kept from the first connection for every new client after a loss, and the
// loss itself with the time of the last try, so that the polls in between
// wait for the next try.
stmcc_client_rec_t client_record;
bool connection_lost = false;
time_t lost_or_tried_at = 0;

// Starts `client` under the service's name and subscribes it to the photo
// request; the subscription is made even when the start failed, so both
// failures are named. 0, or 1; the failures are logged unless `quiet`.
int start_client(stmcc_t* client, bool quiet) {
    int result = 0;
    int code = stmcc_start_as_msg_queue_client(client, client_record);
    if (code != stmcc_result_ok) {
        if (!quiet)
            log_line("statemgr_connect", "open as msg queue client error: %s\n",
                     stmc_get_result_str(code));
        result = 1;
    }
    code = stmcc_subscribe(client, photo_state);
    if (code != stmcc_result_ok) {
        if (!quiet)
            log_line("statemgr_connect", "subscribe to 's_make_photo' error: %s\n",
                     stmc_get_result_str(code));
        result = 1;
    }
    return result;
}

// A new client in place of the lost one, subscribed again. Failed attempts
// are silent: the loss has its one line already, and the return gets one.
void reconnect() {
    lost_or_tried_at = monotonic_seconds();
    stmcc_t* client = stmcc_new();
    if (client == nullptr)
        return;
    if (start_client(client, true) != 0) {
        stmcc_delete(client);
        return;
    }
    stmcc_delete(gv.statemgr);
    gv.statemgr = client;
    connection_lost = false;
    LOG("connection to the state manager is back");
}

} // namespace

int statemgr_connect(const char* name) {
    memset(&client_record, 0, sizeof client_record);
    client_record.id = client_record_id;
    // The name field keeps 255 characters and its terminator. A longer
    // program path is cut, losing the end of the suffix, rather than refused:
    // the service cannot run without this connection.
    snprintf(client_record.name, sizeof client_record.name, "%s.state_mgr_2",
             name != nullptr ? name : "");

    gv.statemgr = stmcc_new();
    if (gv.statemgr == nullptr) {
        LOG("stmcc init error\n");
        // Without a handle there is nothing to start or subscribe.
        return 1;
    }
    connection_lost = false;
    return start_client(gv.statemgr, false);
}

int process_states(int* request) {
    if (stop)
        return 0;
    // While the state manager is away (a restart of it, say), a new client
    // is tried at most every few seconds, and nothing is polled meanwhile.
    if (connection_lost) {
        if (monotonic_seconds() - lost_or_tried_at >= reconnect_seconds)
            reconnect();
        if (connection_lost)
            return 1;
    }
    while (!stop) {
        char name[32];
        int value = 0;
        int code = stmcc_wait_for_change_state(gv.statemgr, name, &value, 0);
        if (code == stmcc_result_no_change)
            return 0;
        if (code != stmcc_result_ok) {
            LOG("wait for change state error: %s", stmc_get_result_str(code));
            connection_lost = true;
            lost_or_tried_at = monotonic_seconds();
            return 1;
        }
        // A request withdrawn before this poll still counts: only a
        // non-zero value sets it, and nothing here clears it.
        if (strcmp(name, photo_state) == 0 && value != 0)
            *request = 1;
    }
    return 0;
}

int say_signal(int value) {
    // The report is not given up for a state manager that is back already:
    // one attempt now, whenever the last was.
    if (connection_lost)
        reconnect();
    int code = stmcc_event_notify(gv.statemgr, signal_event, value);
    if (code == stmcc_result_ok)
        return 0;
    LOG("event 'e_signal0' notify error: %s\n", stmc_get_result_str(code));
    // The board relies on this report; a service that cannot give it stops.
    stop = 1;
    report_failed = true;
    return 1;
}

bool signal_report_failed() {
    return report_failed;
}

int access_enabled() {
    // The barrier opens on the event whatever becomes of the command here;
    // the decision does not wait for more than the command itself.
    system("stmgrclient rise e_access_grntd");
    return 0;
}

void statemgr_disconnect() {
    stmcc_delete(gv.statemgr);
    gv.statemgr = nullptr;
}
