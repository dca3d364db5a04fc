#include "core/dravelber.h"

#include <ctime>

#include "access/access_base.h"
#include "core/preview.h"
#include "core/recognition.h"
#include "core/signals.h"
#include "links/shmgr_link.h"
#include "links/statemgr_link.h"
#include "records/external_program.h"
#include "support/gv.h"
#include "support/msleep_ts.h"
#include "support/process_values.h"
#include "video/capture.h"

namespace {

constexpr int pause_ms = 10;
constexpr int capture_retry_ms = 3000;
// While no plate came for longer than this, the stream gets zero blocks.
constexpr time_t quiet_seconds = 10;

enum VideoSignal { signal_undecided = -1, signal_lost = 0, signal_present = 1 };

// Sleeps, then writes the log lines that came due meanwhile: those the
// signal handlers owe and the external program's failures.
void pause_and_log(int ms) {
    msleep_ts(ms);
    write_signal_lines();
    report_external_program_failures();
}

} // namespace

int dravelber(Brisvale::LPR* engine) {
    char accessbase[4096];
    build_accessbase_path(accessbase, sizeof accessbase);
    Preview preview;
    start_preview(&preview);
    int video_signal = signal_undecided;
    time_t last_recognition = 0;
    time_t last_preview = 0;

    for (;;) {
        // The lines a signal owes come before whatever the loop does about it.
        write_signal_lines();
        if (stop != 0)
            break;
        pause_and_log(pause_ms);
        if (usr1_flag != 0) {
            // Cleared before the file is read: a signal that comes during
            // the reload asks for another one instead of being lost.
            usr1_flag = 0;
            load_access_base(accessbase);
        }
        const int captured = video_Capture_frame(gv.request);
        unsigned char* frame = gv.frame_buffer.address;
        const time_t now = time(nullptr);
        if (now > last_recognition + quiet_seconds)
            send_zero_block(0);
        int request = 0;
        process_states(&request);
        gv_access_by_button = request;

        if (captured != 0) {
            if (video_signal != signal_lost)
                say_signal(signal_lost);
            pause_and_log(capture_retry_ms);
            video_signal = signal_lost;
            continue;
        }
        if (video_signal != signal_present)
            say_signal(signal_present);
        if (last_preview < now) {
            write_preview(&preview, frame);
            last_preview = now;
        }
        if (recognize_frame(engine, frame, now))
            last_recognition = now;
        if (request != 0 && take_photo(engine, frame, now))
            last_recognition = now;
        video_signal = signal_present;
    }
    return 0;
}
