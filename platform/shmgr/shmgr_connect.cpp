#include "platform/shmgr/shmgr_connection.h"
// The service's own declarations of these calls: any difference fails here.
#include "board/board_shmgr.h"

#include <cerrno>
#include <climits>
#include <new>

int shmgrConnect(const char*, int, SHMGR_CONNECTION* connection) {
    char name[NAME_MAX + 1];
    if (connection == nullptr) {
        errno = EINVAL;
        return 0;
    }
    *connection = nullptr;
    // Channels are mapped on first use; checking the name here makes a
    // misconfigured prefix fail at connection time, where it is reported.
    if (shmgr::channel_name(0, name, sizeof name) != 0) {
        return 0;
    }
    shmgr_connection* created = new (std::nothrow) shmgr_connection();
    if (created == nullptr) {
        errno = ENOMEM;
        return 0;
    }
    created->magic = shmgr::connection_magic;
    *connection = created;
    return 1;
}

namespace shmgr {

Channel* usable_channel(shmgr_connection& connection, int channel) {
    Mapping& mapping = connection.channels[channel];
    if (mapping.channel != nullptr && check_mapping(mapping) != 0) {
        if (errno != EIDRM) {
            return nullptr;
        }
        unmap_channel(&mapping);
    }
    if (mapping.channel == nullptr && map_channel(channel, true, &mapping) != 0) {
        return nullptr;
    }
    return mapping.channel;
}

} // namespace shmgr

int shmgrDisconnect(SHMGR_CONNECTION* connection) {
    if (connection == nullptr || *connection == nullptr ||
        (*connection)->magic != shmgr::connection_magic) {
        errno = EINVAL;
        return 0;
    }
    shmgr_connection* closing = *connection;
    if (closing->block.held) {
        shmgr::release_block(&closing->block);
    }
    for (shmgr::Mapping& channel : closing->channels) {
        shmgr::unmap_channel(&channel);
    }
    closing->magic = 0;
    delete closing;
    *connection = nullptr;
    return 1;
}
