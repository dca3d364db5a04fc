#include "tools/shmgr-dump/shmgr_dump.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <getopt.h>

namespace {

enum Status { DONE = 0, FAILED = 1, BAD_USAGE = 2 };
enum LongOnly { OPT_ONCE = 256, OPT_WAIT };

const char usage[] = "Usage: shmgr-dump [OPTIONS]\n"
                     "\n"
                     "Follows a channel of the shared-memory stream and prints every block\n"
                     "published after it starts: sequence number, length, frame time, activity,\n"
                     "frame number and I-frame bit. A block of 116 bytes or more is a passage:\n"
                     "its record is shown decoded (time, number, kind, in_list, access, text and\n"
                     "summary in UTF-8), and the JPEG after the record can be saved. Blocks that\n"
                     "the dump was too slow to see are reported as missed.\n"
                     "\n"
                     "Options:\n"
                     "  -c, --channel N      channel to follow, 0 to %d (default 0)\n"
                     "  -n, --count N        stop after showing N blocks\n"
                     "  -t, --seconds N      stop after N seconds\n"
                     "  -p, --passages       show passage blocks only\n"
                     "  -j, --jpeg-dir DIR   save each passage's JPEG as DIR/block-SEQUENCE.jpeg\n"
                     "      --once           end with status 1 when the channel is removed or\n"
                     "                       changes its size, rather than wait for it\n"
                     "      --wait           wait for a channel that the service has not made\n"
                     "                       yet, rather than fail; it is shown from its first\n"
                     "                       block\n"
                     "  -h, --help           show this text\n"
                     "\n"
                     "The stream is named by the environment variable SHMGR_PREFIX (default\n"
                     "/shmgr). Without --count or --seconds the dump runs until interrupted.\n"
                     "The dump never makes a channel: only the service does.\n"
                     "\n"
                     "Exit status: 0 done, 1 failed (stream not reachable, JPEG or output not\n"
                     "written, channel gone with --once), 2 bad command line.\n";

// A whole decimal number from `low` to `high`.
bool parse_number(const char* text, long low, long high, long* value) {
    char* end = nullptr;
    errno = 0;
    long parsed = strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || parsed < low || parsed > high) {
        return false;
    }
    *value = parsed;
    return true;
}

// 0 when the options are complete, BAD_USAGE, or DONE for --help.
int parse_options(int argc, char** argv, DumpOptions* options, FILE* out, FILE* err) {
    static const option long_options[] = {{"channel", required_argument, nullptr, 'c'},
                                          {"count", required_argument, nullptr, 'n'},
                                          {"seconds", required_argument, nullptr, 't'},
                                          {"passages", no_argument, nullptr, 'p'},
                                          {"jpeg-dir", required_argument, nullptr, 'j'},
                                          {"once", no_argument, nullptr, OPT_ONCE},
                                          {"wait", no_argument, nullptr, OPT_WAIT},
                                          {"help", no_argument, nullptr, 'h'},
                                          {nullptr, 0, nullptr, 0}};
    long channel = 0;
    optind = 0; // the parser starts afresh on every call
    opterr = 0;
    for (;;) {
        int option = getopt_long(argc, argv, "c:n:t:pj:h", long_options, nullptr);
        if (option == -1) {
            break;
        }
        bool valid = true;
        const char* wrong = optarg;
        switch (option) {
        case 'c':
            valid = parse_number(optarg, 0, SHMGR_MAX_CHANNELS - 1, &channel);
            break;
        case 'n':
            valid = parse_number(optarg, 1, LONG_MAX, &options->count);
            break;
        case 't':
            valid = parse_number(optarg, 1, INT_MAX / 1000, &options->seconds);
            break;
        case 'p':
            options->passages_only = true;
            break;
        case 'j':
            options->jpeg_dir = optarg;
            break;
        case OPT_ONCE:
            options->once = true;
            break;
        case OPT_WAIT:
            options->wait = true;
            break;
        case 'h':
            fprintf(out, usage, SHMGR_MAX_CHANNELS - 1);
            if (fflush(out) != 0 || ferror(out) != 0) {
                fprintf(err, "shmgr-dump: cannot write the output: %s\n", strerror(errno));
                return FAILED;
            }
            return DONE;
        default:
            valid = false;
            wrong = argv[optind - 1];
            break;
        }
        if (!valid) {
            fprintf(err, "shmgr-dump: bad option or value: %s\n", wrong);
            fprintf(err, usage, SHMGR_MAX_CHANNELS - 1);
            return BAD_USAGE;
        }
    }
    if (optind < argc) {
        fprintf(err, "shmgr-dump: unexpected argument: %s\n", argv[optind]);
        fprintf(err, usage, SHMGR_MAX_CHANNELS - 1);
        return BAD_USAGE;
    }
    options->channel = static_cast<int>(channel);
    return -1;
}

} // namespace

int shmgr_dump_main(int argc, char** argv, FILE* out, FILE* err) {
    DumpOptions options;
    int parsed = parse_options(argc, argv, &options, out, err);
    if (parsed >= 0) {
        return parsed;
    }
    SHMGR_READER reader = nullptr;
    if (shmgrReaderAttach(options.channel, &reader) != 1) {
        const bool missing = errno == ENOENT || errno == EAGAIN;
        char why[512];
        shmgrDescribeChannel(options.channel, errno, why, sizeof why);
        if (!missing || !options.wait) {
            fprintf(err, "shmgr-dump: can't attach to channel %d: %s%s\n", options.channel, why,
                    missing ? "; give --wait to wait for it" : "");
            return FAILED;
        }
        fprintf(err, "shmgr-dump: channel %d: %s; waiting for it\n", options.channel, why);
    }
    int status = dump_stream(&reader, options, out, err) == 0 ? DONE : FAILED;
    if (reader != nullptr) {
        shmgrReaderDetach(&reader);
    }
    return status;
}
