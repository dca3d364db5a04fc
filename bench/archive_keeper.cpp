// The archive keeper on one storage folder of 100,000 snapshots, against
// listing the same folder with readdir in the same run:
// - keeper_nothing_to_do: the limits already hold, so the pass is the
//   listing, the ordering of the names and the journal's last record;
// - keeper_prune_all: an age limit that every snapshot but the newest
//   exceeds, so each of them is looked at once and removed. The folder is
//   filled again between the passes, outside the time measured.
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "support/process_values.h"
#include "tools/archive-keeper/archive_prune.h"

namespace {

const int SNAPSHOTS = 100000;

// A storage "<root>/stor" with the device's jpegdata folder.
struct Storage {
    std::string root;
    std::string jpegdata;
    FILE* out = fopen("/dev/null", "w");
    Storage() {
        char pattern[] = "/tmp/dravel-bench-keeper.XXXXXX";
        root = mkdtemp(pattern) != nullptr ? pattern : "/tmp";
        snprintf(gv_deviceid, sizeof gv_deviceid, "gate");
        for (const char* dir : {"/stor", "/stor/gate", "/stor/gate/jpegdata"})
            mkdir((root + dir).c_str(), 0700);
        jpegdata = root + "/stor/gate/jpegdata";
    }
    ~Storage() {
        fclose(out);
        nftw(
            root.c_str(),
            [](const char* path, const struct stat*, int, FTW*) { return remove(path); }, 16,
            FTW_DEPTH | FTW_PHYS);
    }
    // Empty snapshots, one a minute from 2020 on: the names as the service
    // makes them, the files' contents do not matter to the pass.
    void fill() const {
        for (int i = 0; i < SNAPSHOTS; ++i) {
            const time_t taken = 1577836800 + 60 * static_cast<time_t>(i);
            struct tm broken;
            gmtime_r(&taken, &broken);
            char name[64];
            strftime(name, sizeof name, "/%Y-%m-%d_%H-%M-%S_A123BC.jpeg", &broken);
            close(open((jpegdata + name).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
        }
    }
};

Storage& storage() {
    static Storage one;
    static const bool filled = (one.fill(), true);
    (void)filled;
    return one;
}

void readdir_baseline(benchmark::State& state) {
    const Storage& folder = storage();
    for (auto _ : state) {
        DIR* listing = opendir(folder.jpegdata.c_str());
        size_t entries = 0;
        while (readdir64(listing) != nullptr)
            ++entries;
        closedir(listing);
        benchmark::DoNotOptimize(entries);
    }
}

void keeper_nothing_to_do(benchmark::State& state) {
    const Storage& folder = storage();
    const KeeperLimits none;
    for (auto _ : state)
        keep_storage((folder.root + "/stor").c_str(), none, false, folder.out);
}

void keeper_prune_all(benchmark::State& state) {
    const Storage& folder = storage();
    KeeperLimits age;
    age.max_age_days = 1;
    for (auto _ : state) {
        keep_storage((folder.root + "/stor").c_str(), age, false, folder.out);
        state.PauseTiming();
        folder.fill();
        state.ResumeTiming();
    }
}

} // namespace

BENCHMARK(readdir_baseline)->Unit(benchmark::kMillisecond);
BENCHMARK(keeper_nothing_to_do)->Unit(benchmark::kMillisecond);
BENCHMARK(keeper_prune_all)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(readdir_baseline)->Name("readdir_baseline_again")->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
