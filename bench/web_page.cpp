// The live page's CGI time, the program started as a web server starts it,
// against a pass journal of 100,000 passages and an occupancy journal of
// 10,000 cars (half of them inside), with a bare CGI that prints a fixed page
// (printf) as the baseline of the same run: what the page costs beyond
// starting a program is what it reads and writes.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <ftw.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

#include <benchmark/benchmark.h>

#include "access/netnum_journal.h"
#include "access/netpass_journal.h"

extern char** environ;

namespace {

const int32_t now = 1700000000;

struct Board {
    std::string root;
    Board() {
        char pattern[] = "/tmp/dravel-bench.XXXXXX";
        root = mkdtemp(pattern) != nullptr ? pattern : "/tmp";
        for (const char* dir : {"/net", "/disc0", "/disc0/gate-1", "/disc0/gate-1/jpegdata"})
            mkdir((root + dir).c_str(), 0700);
        FILE* ini = fopen((root + "/streams.ini").c_str(), "w");
        fprintf(ini,
                "[common]\ndeviceid = gate-1\n[net_base]\nuse_local_storage = 0\nmountdir = "
                "%s/net\n[disc0]\nON = 1\nmountpoint = %s/disc0\n[web]\noperators = anna\n"
                "secret_file = %s/secret\naccess_base = %s/accessbase.tpa\n",
                root.c_str(), root.c_str(), root.c_str(), root.c_str());
        fclose(ini);
        std::vector<_netpass_rec_t> passes(100000);
        for (size_t i = 0; i < passes.size(); ++i) {
            _netpass_rec_t& rec = passes[i];
            memset(&rec, 0, sizeof rec);
            rec.time = now - static_cast<int32_t>(passes.size() - i) * 30;
            snprintf(rec.number, sizeof rec.number, "N%07zu", i % 20000);
            rec.access = i % 3 == 0 ? 0 : 1;
            rec.in_list = 1;
            memcpy(rec.message, "Allowed", 8);
            memcpy(rec.deviceid, i % 2 ? "gate-1" : "gate-2", 7);
        }
        write_file("/net/netpassbase.tpn", passes.data(), passes.size() * sizeof passes[0]);
        std::vector<_netnum_rec_t> cars(10000);
        for (size_t i = 0; i < cars.size(); ++i) {
            _netnum_rec_t& rec = cars[i];
            memset(&rec, 0, sizeof rec);
            snprintf(rec.number, sizeof rec.number, "N%07zu", i);
            snprintf(rec.owner, sizeof rec.owner, "Owner%zu", i % 97);
            rec.places = static_cast<int8_t>(i % 2);
            rec.in_time = now - static_cast<int32_t>(i);
        }
        write_file("/net/netnumbase.tpn", cars.data(), cars.size() * sizeof cars[0]);
        setenv("VELM_CONF_DIR", root.c_str(), 1);
        setenv("REQUEST_METHOD", "GET", 1);
        setenv("REMOTE_USER", "anna", 1);
    }
    ~Board() {
        nftw(
            root.c_str(),
            [](const char* name, const struct stat*, int, FTW*) { return remove(name); }, 16,
            FTW_DEPTH | FTW_PHYS);
    }
    void write_file(const char* name, const void* bytes, size_t size) const {
        FILE* file = fopen((root + name).c_str(), "wb");
        fwrite(bytes, 1, size, file);
        fclose(file);
    }
};

// Starts the program with its output to /dev/null and waits for it.
void run(benchmark::State& state, const std::vector<const char*>& args) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const char* arg : args)
        argv.push_back(const_cast<char*>(arg));
    argv.push_back(nullptr);
    for (auto _ : state) {
        pid_t child;
        int status = 0;
        if (posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ) != 0 ||
            waitpid(child, &status, 0) < 0 || status != 0)
            state.SkipWithError("the program failed");
    }
    posix_spawn_file_actions_destroy(&actions);
}

void bare_cgi(benchmark::State& state) {
    run(state, {"printf", "Content-Type: text/html\\n\\n<p>A fixed page</p>\\n"});
}

void live_page(benchmark::State& state) {
    Board board;
    run(state, {DRAVEL_WEB_PROGRAM});
}

} // namespace

BENCHMARK(bare_cgi)->Unit(benchmark::kMillisecond);
BENCHMARK(live_page)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
