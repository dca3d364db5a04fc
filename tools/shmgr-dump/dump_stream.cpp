#include "tools/shmgr-dump/shmgr_dump.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <vector>

#include "records/snapshot_archive.h"
#include "support/support_routines.h"

volatile sig_atomic_t dump_interrupted = 0;

namespace {

// Short waits keep the dump responsive to an interruption and its time limit.
const int wait_slice_ms = 200;

void pause_ms(int ms) {
    const timespec pause = {ms / 1000, (ms % 1000) * 1000000L};
    nanosleep(&pause, nullptr);
}

// The reader's channel was removed or spoilt (or is not there yet): says so
// once, then tries to attach again for one wait slice. -1
// when the dump is to end instead.
int follow_again(SHMGR_READER* reader, const DumpOptions& options, FILE* err, int wait) {
    if (*reader != nullptr) {
        char why[512];
        shmgrDescribeChannel(options.channel, errno, why, sizeof why);
        shmgrReaderDetach(reader);
        fprintf(err, "shmgr-dump: channel %d: %s%s\n", options.channel, why,
                options.once ? "" : "; waiting for it to come back");
        if (options.once) {
            return -1;
        }
    }
    if (shmgrReaderAttachFromOldest(options.channel, reader) == 1) {
        fprintf(err, "shmgr-dump: channel %d is there\n", options.channel);
    } else {
        pause_ms(wait);
    }
    return 0;
}

} // namespace

int dump_stream(SHMGR_READER* reader, const DumpOptions& options, FILE* out, FILE* err) {
    std::vector<unsigned char> data(SHMGR_BLOCK_SIZE);
    const int64_t deadline = monotonic_ms() + options.seconds * 1000;
    long shown = 0;
    uint32_t missed_unshown = 0;
    int status = 0;
    while (!dump_interrupted && (options.count == 0 || shown < options.count)) {
        int wait = wait_slice_ms;
        if (options.seconds > 0) {
            int64_t left = deadline - monotonic_ms();
            if (left <= 0) {
                break;
            }
            wait = left < wait ? static_cast<int>(left) : wait;
        }
        shmgr_block_info info;
        const int got = *reader == nullptr
                            ? -1
                            : shmgrReaderNext(*reader, &info, data.data(), SHMGR_BLOCK_SIZE, wait);
        if (got < 0) {
            if (follow_again(reader, options, err, wait) != 0) {
                return 1;
            }
            continue;
        }
        if (got == 0) {
            continue;
        }
        if (options.passages_only && info.length < static_cast<int32_t>(sizeof(_parking_rec_t))) {
            // Readers of the dump still learn that blocks went by unseen.
            missed_unshown += info.missed;
            continue;
        }
        info.missed += missed_unshown;
        missed_unshown = 0;
        print_block(out, info, data.data());
        if (fflush(out) != 0 || ferror(out) != 0) {
            fprintf(err, "shmgr-dump: cannot write the output: %s\n", strerror(errno));
            return 1;
        }
        if (options.jpeg_dir != nullptr &&
            save_block_jpeg(options.jpeg_dir, info, data.data(), err) != 0) {
            status = 1;
        }
        ++shown;
    }
    return status;
}
