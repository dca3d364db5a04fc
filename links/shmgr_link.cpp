#include "links/shmgr_link.h"

#include <cstring>

#include "records/jpeg_compressor.h"
#include "support/gv.h"
#include "support/log.h"

namespace {

const int main_stream_channel = 0;
const int record_block_size = 65536;
const int jpeg_room = record_block_size - static_cast<int>(sizeof(_parking_rec_t));

// Hands the held block back; `caller` names the function in the log line.
int return_block(const char* caller) {
    if (shmgrReturnMemory(gv.shm_connection, &gv.shm_block) == 1) {
        return 0;
    }
    log_errno(caller, "shmgrReturnMemory() error = ");
    return -1;
}

} // namespace

int connect_shmgr() {
    return shmgrConnect("Dravel parking", 0, &gv.shm_connection) == 1 ? 0 : -1;
}

void disconnect_shmgr() {
    shmgrDisconnect(&gv.shm_connection);
}

int send_rec_to_shmgr(_parking_rec_t rec, const unsigned char* frame, int width, int height) {
    return send_rec_jpeg_to_shmgr(rec, nullptr, 0, frame, width, height);
}

int send_rec_jpeg_to_shmgr(_parking_rec_t rec, const unsigned char* jpeg, int length,
                           const unsigned char* frame, int width, int height) {
    // Both entries are the one passage output of the stream; readers of the
    // log know it by this name.
    const char* const name = "send_rec_to_shmgr";
    if (shmgrRequestMemory(gv.shm_connection, main_stream_channel, record_block_size,
                           &gv.shm_block) != 1) {
        log_errno(name, "shmgrRequestMemory(MAIN_STREAM_CHANNEL) failed: ");
        return -1;
    }
    unsigned char* data =
        static_cast<unsigned char*>(shmgrGetData(gv.shm_connection, gv.shm_block));
    if (data == nullptr) {
        // Nothing can be written; the block still has to go back, and as an
        // empty one, so readers do not take stale bytes for a passage.
        log_errno(name, "shmgrGetData() failed: ");
        shmgrSetLen(gv.shm_block, -1);
        return_block(name);
        return -1;
    }
    memcpy(data, &rec, sizeof rec);
    int jpeg_length = 0;
    if (jpeg != nullptr && length < jpeg_room) {
        jpeg_length = length > 0 ? length : 0;
        memcpy(data + sizeof rec, jpeg, static_cast<size_t>(jpeg_length));
    } else {
        // The encoder takes a writable pointer but only reads the frame.
        jpeg_length = encodeImage_to_memory(const_cast<unsigned char*>(frame), data + sizeof rec,
                                            jpeg_room, width, height);
    }
    shmgrSetLen(gv.shm_block, static_cast<int>(sizeof rec) + (jpeg_length > 0 ? jpeg_length : 0));
    return return_block(name);
}

int send_zero_block(int force) {
    if (shmgrRequestMemory(gv.shm_connection, main_stream_channel, 0, &gv.shm_block) != 1) {
        return -1;
    }
    int iframe = 0;
    shmgrGetIFrameBit(gv.shm_block, &iframe);
    if (force != 0 || iframe != 0) {
        shmgrSetLen(gv.shm_block, 0);
        shmgrSetFrameTime(gv.shm_block, 0);
        shmgrSetActivity(gv.shm_block, 0);
        shmgrSetFrameNumber(gv.shm_block, 0);
    } else {
        shmgrSetLen(gv.shm_block, -1);
    }
    return return_block(__func__);
}
