// The access decision against occupancy journals of 100, 10,000 and 100,000
// records, with reading the same journal sequentially as the baseline of the
// same run:
// - sequential_read: open the journal, read it to its end in 64 KiB reads,
//   close it;
// - journal_update: the occupancy step alone for a car whose record is the
//   journal's last: open the journal, lock it, one pass in reads of the
//   update's own size (256 KiB) that finds the car and counts its owner's
//   places, the log line of the count, the record rewritten, close. What it
//   costs beyond the baseline is looking at each record, locking, writing
//   and logging, less what its fewer reads save;
// - decision: the whole decision on a 32 x 16 frame (its JPEG costs next to
//   nothing) with the stream and the archive off, up to and including the
//   barrier command. system() starts a shell there, which runs a client that
//   does nothing (true under the client's name); barrier_command measures
//   that part alone.
// And one whole passage of a 704 x 576 frame with the stream and the archive
// on: one encoding shared by both, against the archive's encoding plus the
// stream's own, as the stream made it before.
//
// The log goes where a board sends it: to a datagram socket at /dev/log,
// sent whole by glibc's syslog() on a connection made once. Without a
// daemon glibc would open, fail to connect and close a socket for every
// line, which no board pays, and a host's own daemon would make the figures
// the host's. So the bench binds a socket of its own as /dev/log, in mount
// and network namespaces of its own (as root, or else in a user namespace),
// and a thread empties it every 200 us. The socket's queue, and the room a
// sender has for lines not yet read, hold far more than 200 us of decisions
// log, so a line neither wakes that thread nor waits for it (unless the host
// keeps the thread from running): what a line costs is its formatting and
// its send, the same in every run, and no daemon's work.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <ftw.h>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <syslog.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <benchmark/benchmark.h>

#include "access/access_base.h"
#include "access/access_decision.h"
#include "access/netnum_journal.h"
#include "links/shmgr_link.h"
#include "platform/shmgr/shmgr_reader.h"
#include "support/gv.h"
#include "support/process_values.h"

namespace {

bool write_file(const char* path, const char* text) {
    FILE* file = fopen(path, "w");
    if (file == nullptr)
        return false;
    const bool written = fputs(text, file) >= 0;
    return fclose(file) == 0 && written;
}

// Mounts and a network of our own; where only root may have them, in a
// user namespace of our own where we are root. Before any thread starts.
bool own_namespaces() {
    if (unshare(CLONE_NEWNS | CLONE_NEWNET) != 0) {
        const unsigned uid = getuid();
        const unsigned gid = getgid();
        char map[32];
        if (unshare(CLONE_NEWUSER | CLONE_NEWNS | CLONE_NEWNET) != 0 ||
            !write_file("/proc/self/setgroups", "deny"))
            return false;
        snprintf(map, sizeof map, "0 %u 1", uid);
        if (!write_file("/proc/self/uid_map", map))
            return false;
        snprintf(map, sizeof map, "0 %u 1", gid);
        if (!write_file("/proc/self/gid_map", map))
            return false;
    }
    // Nothing mounted here is seen outside.
    return mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

// The socket is bound in a /dev that lasts only until the log is connected:
// the connection outlives the mount, and the bench keeps the host's /dev.
bool own_log_sink() {
    // Lines a socket made from now on holds before a sender must wait: more
    // than a few seconds of decisions.
    if (!own_namespaces() || !write_file("/proc/sys/net/unix/max_dgram_qlen", "100000") ||
        mount("tmpfs", "/dev", "tmpfs", 0, "mode=0755") != 0)
        return false;
    const int sink = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    snprintf(address.sun_path, sizeof address.sun_path, "/dev/log");
    const bool bound =
        sink >= 0 && bind(sink, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (bound)
        openlog("bench_access_decision", LOG_NDELAY, LOG_USER);
    if (umount2("/dev", MNT_DETACH) != 0 || !bound)
        return false;
    // A line that arrives says the log is connected to the sink.
    syslog(LOG_INFO, "sink");
    char line[1024];
    if (recv(sink, line, sizeof line, MSG_DONTWAIT) <= 0)
        return false;
    std::thread([sink] {
        for (;;) {
            char drained[1024];
            while (recv(sink, drained, sizeof drained, MSG_DONTWAIT) > 0) {
            }
            usleep(200);
        }
    }).detach();
    return true;
}

const long passage_time = 1700000000;
const char car[] = "A123BC";

// A board in a folder of its own: net base, one mount point, configuration,
// and as PATH a folder whose only client does nothing.
struct Board {
    std::string root;
    Board() {
        char pattern[] = "/tmp/dravel-bench.XXXXXX";
        root = mkdtemp(pattern) != nullptr ? pattern : "/tmp";
        for (const char* dir :
             {"/net", "/conf", "/bin", "/disc0", "/disc0/unknown", "/disc0/unknown/jpegdata"})
            mkdir((root + dir).c_str(), 0700);
        setenv("VELM_CONF_DIR", (root + "/conf").c_str(), 1);
        setenv("PATH", (root + "/bin").c_str(), 1);
        if (symlink("/bin/true", (root + "/bin/stmgrclient").c_str()) != 0)
            perror("stmgrclient");
        snprintf(gv_netmountpoint, sizeof gv_netmountpoint, "%s/net", root.c_str());
        archive(false);

        _access_rec_t rec;
        memset(&rec, 0, sizeof rec);
        memcpy(rec.number, car, sizeof car);
        memcpy(rec.info, "Fleet,0", 8);
        rec.period_to = INT32_MAX;
        FILE* base = fopen((root + "/accessbase.tpa").c_str(), "wb");
        fwrite(&rec, sizeof rec, 1, base);
        fclose(base);
        load_access_base((root + "/accessbase.tpa").c_str());
    }
    ~Board() {
        free_access_base();
        nftw(
            root.c_str(),
            [](const char* name, const struct stat*, int, FTW*) { return remove(name); }, 16,
            FTW_DEPTH | FTW_PHYS);
    }
    void archive(bool on) {
        FILE* ini = fopen((root + "/conf/streams.ini").c_str(), "w");
        fprintf(ini, "[disc0]\nON = %d\nmountpoint = %s/disc0\n", on ? 1 : 0, root.c_str());
        fclose(ini);
    }
    std::string journal() const { return root + "/net/netnumbase.tpn"; }

    // `records` records of other owners' cars, then the car's own, inside.
    void fill_journal(long records) {
        std::vector<_netnum_rec_t> recs(static_cast<size_t>(records));
        for (int i = 0; i < records; ++i) {
            _netnum_rec_t& rec = recs[static_cast<size_t>(i)];
            memset(&rec, 0, sizeof rec);
            snprintf(rec.number, sizeof rec.number, "N%07d", i);
            snprintf(rec.owner, sizeof rec.owner, "Owner%d", i % 97);
            rec.places = static_cast<int8_t>(i % 2);
            rec.in_time = static_cast<int32_t>(passage_time - i);
        }
        _netnum_rec_t& own = recs.back();
        memset(&own, 0, sizeof own);
        memcpy(own.number, car, sizeof car);
        memcpy(own.owner, "Fleet", 6);
        own.places = 1;
        FILE* file = fopen(journal().c_str(), "wb");
        fwrite(recs.data(), sizeof(_netnum_rec_t), recs.size(), file);
        fclose(file);
    }
};

void sequential_read(benchmark::State& state) {
    Board board;
    board.fill_journal(state.range(0));
    std::vector<char> chunk(64 * 1024);
    for (auto _ : state) {
        const int fd = open(board.journal().c_str(), O_RDONLY);
        while (read(fd, chunk.data(), chunk.size()) > 0)
            benchmark::ClobberMemory();
        close(fd);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0) *
                            static_cast<int64_t>(sizeof(_netnum_rec_t)));
}

void journal_update(benchmark::State& state) {
    Board board;
    board.fill_journal(state.range(0));
    for (auto _ : state) {
        _netnum_outcome_t outcome = {};
        netnumbase_update(car, passage_time, gv.access_entries[0], 1, false, &outcome);
        benchmark::DoNotOptimize(outcome);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0) *
                            static_cast<int64_t>(sizeof(_netnum_rec_t)));
}

void decision(benchmark::State& state) {
    Board board;
    board.fill_journal(state.range(0));
    gv.shm_connection = nullptr;
    std::vector<unsigned char> frame(32 * 16 * 3 / 2, 100);
    for (auto _ : state)
        test_recognized_number(passage_time, car, 2, frame.data(), 32, 16);
}

void barrier_command(benchmark::State& state) {
    Board board;
    for (auto _ : state)
        benchmark::DoNotOptimize(system("stmgrclient rise e_access_grntd"));
}

// A camera-like frame: broad gradients with a little grain.
std::vector<unsigned char> camera_frame() {
    std::vector<unsigned char> frame(704 * 576 * 3 / 2);
    uint32_t grain = 12345;
    for (size_t i = 0; i < frame.size(); ++i) {
        grain = grain * 1103515245u + 12345u;
        frame[i] = static_cast<unsigned char>(40 + i % 704 / 5 + i / 704 % 576 / 6 + (grain >> 29));
    }
    return frame;
}

// `encodings` 1: the decision's passage as it is. 2: the decision without
// the stream, then the stream's own encoding of the same frame.
void passage(benchmark::State& state) {
    Board board;
    board.archive(true);
    board.fill_journal(100);
    char prefix[64];
    snprintf(prefix, sizeof prefix, "/dravel-bench-%d", static_cast<int>(getpid()));
    setenv("SHMGR_PREFIX", prefix, 1);
    if (connect_shmgr() != 0) {
        state.SkipWithError("no stream");
        return;
    }
    const SHMGR_CONNECTION stream = gv.shm_connection;
    std::vector<unsigned char> frame = camera_frame();
    _parking_rec_t rec;
    memset(&rec, 0, sizeof rec);
    for (auto _ : state) {
        if (state.range(0) == 1) {
            test_recognized_number(passage_time, car, 2, frame.data(), 704, 576);
        } else {
            gv.shm_connection = nullptr;
            test_recognized_number(passage_time, car, 2, frame.data(), 704, 576);
            gv.shm_connection = stream;
            send_rec_to_shmgr(rec, frame.data(), 704, 576);
        }
    }
    disconnect_shmgr();
    shmgrRemoveChannel(0);
}

} // namespace

BENCHMARK(sequential_read)->Arg(100)->Arg(10000)->Arg(100000);
BENCHMARK(journal_update)->Arg(100)->Arg(10000)->Arg(100000);
BENCHMARK(decision)->Arg(100)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(barrier_command)->Unit(benchmark::kMicrosecond);
BENCHMARK(passage)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    if (!own_log_sink()) {
        perror("bench_access_decision: no /dev/log of its own");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
