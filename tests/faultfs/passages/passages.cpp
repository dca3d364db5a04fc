// faultfs-passages: decides passages as the service does, with the settings
// of $VELM_CONF_DIR/streams.ini (device id, barrier, net-base, storages), so
// that a storage fault can be put under a real process with LD_PRELOAD and
// real journals, archives and stream blocks come out of it.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <syslog.h>
#include <vector>

#include "access/access_base.h"
#include "access/access_decision.h"
#include "core/config.h"
#include "core/gv.h"
#include "links/shmgr_link.h"

namespace {

const char USAGE[] = "Usage: faultfs-passages [--stream] ACCESS_BASE TIME NUMBER...\n"
                     "Decides a passage of each NUMBER, one second apart from TIME (seconds since\n"
                     "the epoch), with the access base ACCESS_BASE and the settings of\n"
                     "$VELM_CONF_DIR/streams.ini. --stream also publishes the passages on the\n"
                     "stream channel named by $SHMGR_PREFIX.\n";

// A frame with a shade that differs from passage to passage, so that every
// archived picture is a JPEG of its own.
std::vector<unsigned char> frame_of(int passage) {
    const int width = 704;
    const int height = 576;
    std::vector<unsigned char> frame(width * height * 3 / 2, 0x80);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            frame[y * width + x] = static_cast<unsigned char>((x + y + 16 * passage) & 0xFF);
    return frame;
}

} // namespace

int main(int argc, char** argv) {
    int first = 1;
    const bool stream = argc > 1 && strcmp(argv[1], "--stream") == 0;
    first += stream ? 1 : 0;
    char* end = nullptr;
    const long time = argc > first + 1 ? strtol(argv[first + 1], &end, 10) : 0;
    if (argc < first + 3 || end == argv[first + 1] || *end != '\0') {
        fputs(USAGE, stderr);
        return 2;
    }
    openlog("faultfs-passages", LOG_PID | LOG_NDELAY, LOG_USER);
    read_startup_settings();
    load_access_base(argv[first]);
    if (stream && connect_shmgr() != 0) {
        fputs("faultfs-passages: the stream manager refused the connection\n", stderr);
        return 1;
    }
    for (int i = first + 2; i < argc; ++i) {
        const std::vector<unsigned char> frame = frame_of(i);
        test_recognized_number(time + i - first - 2, argv[i], 2, frame.data(), 704, 576);
    }
    if (stream)
        disconnect_shmgr();
    free_access_base();
    closelog();
    return 0;
}
