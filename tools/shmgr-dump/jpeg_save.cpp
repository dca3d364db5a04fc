#include "tools/shmgr-dump/shmgr_dump.h"

#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cstring>

#include "records/snapshot_archive.h"

int save_block_jpeg(const char* dir, const shmgr_block_info& info, const unsigned char* data,
                    FILE* err) {
    const int32_t record = static_cast<int32_t>(sizeof(_parking_rec_t));
    if (info.length <= record) {
        return 0;
    }
    // The header lives in memory that any process of the board may write,
    // and the reader copies no more than a block: a longer length is
    // refused rather than read past the data.
    if (info.length > SHMGR_BLOCK_SIZE) {
        fprintf(err, "shmgr-dump: block %" PRIu32 " claims %" PRId32 " bytes, more than a block\n",
                info.sequence, info.length);
        return -1;
    }
    char path[PATH_MAX];
    int length = snprintf(path, sizeof path, "%s/block-%" PRIu32 ".jpeg", dir, info.sequence);
    if (length < 0 || static_cast<size_t>(length) >= sizeof path) {
        fprintf(err, "shmgr-dump: folder name too long: %s\n", dir);
        return -1;
    }
    FILE* file = fopen(path, "wb");
    if (file == nullptr) {
        fprintf(err, "shmgr-dump: can't create %s: %s\n", path, strerror(errno));
        return -1;
    }
    size_t size = static_cast<size_t>(info.length - record);
    bool written = fwrite(data + record, 1, size, file) == size;
    // The last bytes may only fail to reach the disk when the file is closed.
    if (fclose(file) != 0 || !written) {
        fprintf(err, "shmgr-dump: can't write %s: %s\n", path, strerror(errno));
        return -1;
    }
    return 0;
}
