#include "tests/faultfs/storage_world.h"

#include <cstdio>
#include <filesystem>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "access/access_base.h"
#include "access/access_decision.h"
#include "core/gv.h"
#include "tests/support/scratch_dir.h"

const char OWNER_CAR[] = "A111AA";
const char OTHER_OWNER_CAR[] = "B222BB";
const char OWNERLESS_CAR[] = "C333CC";

namespace {

_access_rec_t access_record(const char* number, const char* info) {
    _access_rec_t rec;
    memset(&rec, 0, sizeof rec);
    strncpy(rec.number, number, sizeof rec.number);
    strncpy(rec.info, info, sizeof rec.info);
    rec.period_to = 0x7FFFFFFF;
    snprintf(rec.text, sizeof rec.text, "%s}", number);
    return rec;
}

std::string storage_section(const char* section, const std::string& mountpoint) {
    return std::string("[") + section + "]\nON = " + (mountpoint.empty() ? "0" : "1") +
           "\nmountpoint = " + mountpoint + "\n";
}

} // namespace

void StorageWorld::create(const std::string& name, const std::vector<std::string>& devices) {
    root = scratch_dir(name);
    // The root may be a mount point, which stays.
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    mkdir(root.c_str(), 0700);
    // No state manager runs here: the client that raises the barrier event
    // for an admitted car is a stand-in that answers at once.
    const std::string bin = root + "/bin";
    mkdir(bin.c_str(), 0700);
    write_text_file(bin + "/stmgrclient", "#!/bin/sh\nexit 0\n");
    chmod((bin + "/stmgrclient").c_str(), 0700);
    static const std::string path = getenv("PATH") != nullptr ? getenv("PATH") : "/usr/bin:/bin";
    setenv("PATH", (bin + ":" + path).c_str(), 1);
    net = root + "/net";
    conf = root + "/conf";
    mkdir(net.c_str(), 0700);
    mkdir(conf.c_str(), 0700);
    for (int i = 0; i < 2; ++i) {
        mounts[i] = root + "/m" + std::to_string(i);
        mkdir(mounts[i].c_str(), 0700);
        for (const std::string& device : devices) {
            mkdir((mounts[i] + "/" + device).c_str(), 0700);
            mkdir((mounts[i] + "/" + device + "/jpegdata").c_str(), 0700);
        }
    }
    write_text_file(conf + "/streams.ini", storage_section("disc0", mounts[0]) +
                                               storage_section("disc1", mounts[1]) +
                                               storage_section("usbdisc", ""));
    setenv("VELM_CONF_DIR", conf.c_str(), 1);
    setenv("TZ", "EET-2", 1);
    snprintf(gv_deviceid, sizeof gv_deviceid, "%s", devices.front().c_str());
    snprintf(gv_netmountpoint, sizeof gv_netmountpoint, "%s", net.c_str());
    gv.external_program[0] = '\0';
    gv_access_by_button = 0;

    const _access_rec_t records[] = {access_record(OWNER_CAR, "Ivanov,2,01:00"),
                                     access_record(OTHER_OWNER_CAR, "Ivanov,2,01:00"),
                                     access_record(OWNERLESS_CAR, "")};
    const std::string base = conf + "/accessbase.tpa";
    write_text_file(base, std::string(reinterpret_cast<const char*>(records), sizeof records));
    load_access_base(base.c_str());
}

std::string StorageWorld::watched() const {
    // The latest snapshot is written under a name of its own first.
    const std::string latest = gv_last_recognized_jpeg;
    return net + ":" + mounts[0] + ":" + mounts[1] + ":" + latest + ":" + latest + ".tmp";
}

StorageTree StorageWorld::snapshot() const {
    StorageTree tree;
    for (const std::string& folder : {net, mounts[0], mounts[1]})
        read_tree(folder, &tree);
    struct stat status;
    if (private_tmp && stat(gv_last_recognized_jpeg, &status) == 0)
        tree[gv_last_recognized_jpeg] = read_text_file(gv_last_recognized_jpeg);
    return tree;
}

void passage(long time, const char* number, int barrier) {
    // What the storage gets does not depend on the picture's size; a small
    // one keeps the thousands of passages quick, under qemu too.
    static const std::vector<unsigned char> frame(64 * 48 * 3 / 2, 0x80);
    gv_barrier_type = barrier;
    test_recognized_number(time, number, 2, frame.data(), 64, 48);
}
