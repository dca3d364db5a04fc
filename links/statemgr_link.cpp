#include "links/statemgr_link.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/gv.h"
#include "support/log.h"

namespace {

const char photo_state[] = "s_make_photo";
const char signal_event[] = "e_signal0";
const int client_record_id = 80000;
bool report_failed = false;

} // namespace

int statemgr_connect(const char* name) {
    stmcc_client_rec_t record;
    memset(&record, 0, sizeof record);
    record.id = client_record_id;
    // The name field keeps 255 characters and its terminator. A longer
    // program path is cut, losing the end of the suffix, rather than refused:
    // the service cannot run without this connection.
    snprintf(record.name, sizeof record.name, "%s.state_mgr_2", name != nullptr ? name : "");

    int result = 0;
    gv.statemgr = stmcc_new();
    if (gv.statemgr == nullptr) {
        LOG("stmcc init error\n");
        // Without a handle there is nothing to start or subscribe.
        return 1;
    }
    int code = stmcc_start_as_msg_queue_client(gv.statemgr, record);
    if (code != stmcc_result_ok) {
        LOG("open as msg queue client error: %s\n", stmc_get_result_str(code));
        result = 1;
    }
    code = stmcc_subscribe(gv.statemgr, photo_state);
    if (code != stmcc_result_ok) {
        LOG("subscribe to 's_make_photo' error: %s\n", stmc_get_result_str(code));
        result = 1;
    }
    return result;
}

int process_states(int* request) {
    while (!stop) {
        char name[32];
        int value = 0;
        int code = stmcc_wait_for_change_state(gv.statemgr, name, &value, 0);
        if (code == stmcc_result_no_change)
            return 0;
        if (code != stmcc_result_ok) {
            LOG("wait for change state error: %s", stmc_get_result_str(code));
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
