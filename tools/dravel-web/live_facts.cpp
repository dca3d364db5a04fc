#include "tools/dravel-web/live_facts.h"

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include "access/netpass_journal.h"
#include "support/process_values.h"
#include "tools/accessbase/access_file.h"
#include "tools/accessbase/tool_files.h"
#include "tools/archive-keeper/snapshot_names.h"
#include "tools/journal-reader/journal_decode.h"
#include "tools/journal-reader/journal_read.h"
#include "tools/journal-reader/occupancy_view.h"

namespace {

// A preview is a frame or two: anything far larger is not one.
constexpr long PREVIEW_MAX = 4L << 20;

int32_t max_stay_of(const std::vector<_access_rec_t>& base, const std::string& number) {
    for (const _access_rec_t& record : base) {
        if (car_number_cmp(record.number, number.c_str()) == 1) {
            _access_entry_t entry;
            parse_access_info(&entry, record.info, sizeof record.info);
            return entry.max_park_time;
        }
    }
    return 0;
}

} // namespace

int fresh_preview(const std::string& path, time_t now, std::string* jpeg) {
    std::string why;
    FILE* file = open_input(path, &why);
    if (file == nullptr)
        return -1;
    struct stat st;
    const bool fresh = fstat(fileno(file), &st) == 0 && st.st_size <= PREVIEW_MAX &&
                       st.st_mtime <= now && now - st.st_mtime <= PREVIEW_FRESH_SECONDS;
    if (fresh) {
        jpeg->resize(static_cast<size_t>(st.st_size));
        jpeg->resize(fread(&(*jpeg)[0], 1, jpeg->size(), file));
    }
    fclose(file);
    return fresh && !jpeg->empty() ? 0 : -1;
}

std::vector<LivePassage> last_passages(const std::string& journal, const std::string& deviceid,
                                       const std::string& jpegdata, size_t count) {
    std::vector<LivePassage> passages;
    std::string why;
    FILE* file = open_input(journal, &why);
    if (file == nullptr)
        return passages;
    // Whole records only: a torn one at the end is still being written.
    long end = fseek(file, 0, SEEK_END) == 0 ? ftell(file) : -1;
    end = end < 0 ? 0 : end - end % static_cast<long>(sizeof(_netpass_rec_t));
    _netpass_rec_t block[64];
    size_t looked = 0;
    while (end > 0 && looked < LOOK_BACK && passages.size() < count) {
        const long records = std::min(end / static_cast<long>(sizeof *block), 64L);
        end -= records * static_cast<long>(sizeof *block);
        if (fseek(file, end, SEEK_SET) != 0 ||
            fread(block, sizeof *block, static_cast<size_t>(records), file) !=
                static_cast<size_t>(records))
            break;
        for (long i = records - 1; i >= 0 && looked < LOOK_BACK && passages.size() < count;
             --i, ++looked) {
            LivePassage passage;
            if (decode_pass(reinterpret_cast<const unsigned char*>(&block[i]), &passage.pass,
                            &why) != 0 ||
                passage.pass.deviceid != deviceid)
                continue;
            const std::string name =
                snapshot_name(block[i].time, block[i].number, sizeof block[i].number);
            struct stat st;
            if (!jpegdata.empty() && stat((jpegdata + "/" + name).c_str(), &st) == 0)
                passage.snapshot = name;
            passages.push_back(passage);
        }
    }
    fclose(file);
    return passages;
}

std::vector<InsideCar> cars_inside_now(const std::string& journal, const std::string& access_base) {
    std::vector<OccupancyRow> rows;
    std::string why;
    FILE* file = open_input(journal, &why);
    if (file != nullptr) {
        RowHandlers handlers;
        handlers.occupancy = [&rows](const OccupancyRow& row) {
            rows.push_back(row);
            return true;
        };
        JournalFaults faults;
        read_journal(file, JournalKind::OCCUPANCY, "", handlers, &faults);
        fclose(file);
    }
    std::vector<_access_rec_t> base;
    size_t ignored = 0;
    read_access_file(access_base, &base, &ignored, &why);
    std::vector<InsideCar> inside;
    for (const OccupancyRow& car : cars_inside(rows))
        inside.push_back({car, max_stay_of(base, car.number)});
    return inside;
}

std::string first_jpegdata(const std::string& deviceid) {
    for (const char* mountpoint : gv_mountpoints) {
        if (mountpoint[0] != '\0')
            return std::string(mountpoint) + "/" + deviceid + "/jpegdata";
    }
    return "";
}

std::vector<StorageFacts> storage_facts(const std::string& deviceid) {
    std::vector<StorageFacts> storages;
    for (const char* mountpoint : gv_mountpoints) {
        if (mountpoint[0] == '\0')
            continue;
        StorageFacts facts{mountpoint, false, 0, ""};
        struct statvfs fs;
        if (statvfs(mountpoint, &fs) == 0) {
            facts.known = true;
            facts.free_mib = static_cast<uint64_t>(fs.f_bavail) * fs.f_frsize >> 20;
        }
        // The names begin with the time in UTC, so the least is the oldest.
        DIR* folder = opendir((facts.mountpoint + "/" + deviceid + "/jpegdata").c_str());
        for (dirent* entry; folder != nullptr && (entry = readdir(folder)) != nullptr;) {
            const std::string name = entry->d_name;
            if (is_snapshot_name(name) && (facts.oldest.empty() || name < facts.oldest))
                facts.oldest = name;
        }
        if (folder != nullptr)
            closedir(folder);
        storages.push_back(facts);
    }
    return storages;
}

bool snapshot_name_ok(const std::string& name) {
    return is_snapshot_name(name) && name.find('/') == std::string::npos;
}
