// The archive keeper on a storage full of a board's snapshots, and on
// storages that are missing, unusable or hold no snapshot.
#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include "records/snapshot_archive.h"
#include "tests/common/records.h"
#include "tests/tools/tool_run.h"
#include "tools/archive-keeper/snapshot_names.h"
#include "tools/archive-keeper/archive_prune.h"
#include "tools/archive-keeper/keeper_cli.h"

namespace {

const int64_t NOW = 1700000000;       // 2023-11-15 00:13:20 two hours east of UTC
const uint64_t STORAGE = 16 << 20;    // a small storage
const size_t SNAPSHOTS = 2900;        // one every ten minutes, back from NOW
const std::string JPEG(4096, '\xFF'); // one block

// A storage of STORAGE bytes that holds only the files of the folder.
int small_storage(const char* folder, StorageSpace* space) {
    DIR* listing = opendir(folder);
    space->total = STORAGE;
    space->free = STORAGE;
    struct stat status;
    while (const dirent* entry = listing != nullptr ? readdir(listing) : nullptr)
        if (fstatat(dirfd(listing), entry->d_name, &status, 0) == 0 && S_ISREG(status.st_mode))
            space->free -= static_cast<uint64_t>(status.st_size);
    return listing != nullptr ? closedir(listing) : -1;
}

class ArchiveKeeper : public ToolTest {
  protected:
    ArchiveKeeper() : ToolTest(archive_keeper_main, "archive-keeper", {"archive-keeper"}) {
        setenv("VELM_CONF_DIR", dir_.c_str(), 1);
        for (const char* folder : {"/stor", "/stor/gate", "/stor/gate/jpegdata"})
            mkdir((dir_ + folder).c_str(), 0700);
    }
    ~ArchiveKeeper() override { keeper_world = world_; }

    std::vector<std::string> snapshots() {
        std::vector<std::string> names, temporaries;
        list_snapshots(jpegdata_, &names, &temporaries);
        return names;
    }
    // A file of the archive with its time of change.
    void put(const std::string& name, const std::string& bytes, int64_t changed) {
        write_text_file(jpegdata_ + "/" + name, bytes);
        const timespec times[2] = {{changed, 0}, {changed, 0}};
        utimensat(AT_FDCWD, (jpegdata_ + "/" + name).c_str(), times, 0);
    }

    const std::string jpegdata_ = dir_ + "/stor/gate/jpegdata";
    const KeeperWorld world_ = keeper_world;
};

} // namespace

// The board's archive as the service leaves it, with a passage journalled
// last whose time lies days back (the clock was set back), a temporary
// snapshot a power cut left, one being written now and files of others.
// Each run removes the oldest snapshots and no others; a limit that cannot
// be met leaves the newest snapshot and the last passage's; the journals and
// the files of others stay as they were. The times are UTC whatever the
// zone, so an age limit ends at the same snapshot two hours east.
TEST_F(ArchiveKeeper, RemovesTheOldestSnapshotsUntilTheLimitsHold) {
    keeper_world = {small_storage, [] { return NOW; }};
    std::string records, lines;
    std::vector<std::string> names;
    for (size_t i = SNAPSHOTS; i-- > 0;) {
        const _parking_rec_t rec =
            parking_record(static_cast<int32_t>(NOW - 600 * static_cast<int64_t>(i)),
                           i % 7 == 0 ? "A?12" : "B345", 1, 1);
        char name[snapshot_name_size];
        snapshot_name(rec, name);
        names.push_back(name);
        put(name, JPEG, rec.time);
        records += bytes_of(rec);
        lines += "line;" + names.back() + "\n";
    }
    records += bytes_of(parking_record(static_cast<int32_t>(NOW - 5 * 86400), "B345", 1, 1));
    write_text_file(dir_ + "/stor/gate/passbase.tpp", records);
    write_text_file(dir_ + "/stor/gate/passbase.csv", lines);
    put("2023-11-14_22-11-00_B345.jpeg.tmp", JPEG, NOW - 60);
    put("2023-11-14_22-12-50_B345.jpeg.tmp", JPEG, NOW - 30);
    const std::vector<std::string> others = {"notes.txt", "2023-11-14.jpeg", "passbase.tpp"};
    for (const std::string& other : others)
        put(other, JPEG, NOW - 86400 * 365);
    for (const char* folder :
         {"/jpegdata/2001-01-01_00-00-00_X.jpeg", "/../../others", "/../../others/gate",
          "/../../others/gate/jpegdata", "/../../unusable", "/../../unusable/gate"})
        mkdir((jpegdata_ + "/.." + folder).c_str(), 0700);
    write_text_file(dir_ + "/others/gate/jpegdata/notes.txt", JPEG);
    write_text_file(dir_ + "/unusable/gate/jpegdata", "a file where the folder belongs");

    EXPECT_TRUE(script_matches("archive-keeper.txt"));
    const std::vector<std::string> kept = {names[SNAPSHOTS - 5 * 144 - 1], names.back()};
    EXPECT_EQ(snapshots(), kept);
    EXPECT_EQ(read_text_file(dir_ + "/stor/gate/passbase.tpp"), records);
    EXPECT_EQ(read_text_file(dir_ + "/stor/gate/passbase.csv"), lines);
    for (const std::string& other : others)
        EXPECT_TRUE(exists(jpegdata_ + "/" + other)) << other;
    EXPECT_TRUE(exists(jpegdata_ + "/2023-11-14_22-12-50_B345.jpeg.tmp"));
}

// The storage's true free space: a limit it cannot meet removes all the
// snapshots but the newest and says so.
TEST_F(ArchiveKeeper, MeasuresTheStorageItRunsOn) {
    write_text_file(dir_ + "/streams.ini", "[common]\ndeviceid = gate\n[disc0]\nON = 1\n"
                                           "mountpoint = " +
                                               dir_ + "/stor\n");
    for (const char* name : {"2020-01-01_00-00-00_A1.jpeg", "2020-01-02_00-00-00_A1.jpeg",
                             "2020-01-03_00-00-00_A1.jpeg"})
        put(name, JPEG, NOW);
    EXPECT_EQ(run("--keep-free-mb 2147483647"), 1);
    EXPECT_EQ(snapshots(), std::vector<std::string>{"2020-01-03_00-00-00_A1.jpeg"});
    EXPECT_NE(out_.find(": 2 files removed, 8192 bytes freed, "), std::string::npos) << out_;
}
