// A car park's files as the service leaves them, written by the service's
// own routines: boards that share one net-base folder for the pass journal,
// each archiving its passages on one storage with real JPEGs of a grey
// frame, and the occupancy journal.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "records/jpeg_compressor.h"
#include "records/snapshot_archive.h"
#include "support/gv.h"
#include "support/process_values.h"
#include "tests/common/files.h"
#include "tests/common/records.h"

// What the decision made of one car at one board.
struct Passage {
    int32_t time;
    const char* number;
    const char* board; // the device id
    int in_list;
    int access;          // 1 / -1 admitted at an entry / exit board, 0 refused
    std::string message; // CP1251
    std::string summary; // CP1251
    bool archived;       // the board's storage was there to archive it
};

class CarPark {
  public:
    // Everything lies below `root`, which must exist: the net-base folder
    // "net", the storage "storage" with a folder for each board, and the
    // configuration that names the storage to the archive.
    explicit CarPark(const std::string& root) : root_(root) {
        mkdir(net().c_str(), 0700);
        mkdir(storage().c_str(), 0700);
        write_text_file(root_ + "/streams.ini", "[disc0]\nON = 1\nmountpoint = " + storage() +
                                                    "\n[disc1]\nON = 0\n[usbdisc]\nON = 0\n");
        // A grey frame of the size of every frame the service archives.
        std::vector<unsigned char> frame(704 * 576 * 3 / 2, 128);
        jpeg_.resize(65536);
        jpeg_.resize(encodeImage_to_memory(frame.data(), jpeg_.data(),
                                           static_cast<int>(jpeg_.size()), 704, 576));
    }

    std::string net() const { return root_ + "/net"; }
    std::string storage() const { return root_ + "/storage"; }
    std::string archive(const std::string& board) const { return storage() + "/" + board; }
    size_t jpeg_size() const { return jpeg_.size(); }

    void add_board(const std::string& board) const {
        mkdir(archive(board).c_str(), 0700);
        mkdir((archive(board) + "/jpegdata").c_str(), 0700);
    }

    // Journals and archives the passage as the decision does.
    void record(const Passage& passage) const {
        setenv("VELM_CONF_DIR", root_.c_str(), 1);
        snprintf(gv_netmountpoint, sizeof gv_netmountpoint, "%s", net().c_str());
        snprintf(gv_deviceid, sizeof gv_deviceid, "%s", passage.board);
        gv.external_program[0] = '\0';
        const _parking_rec_t rec = parking_record(passage.time, passage.number, passage.in_list,
                                                  passage.access, passage.message, passage.summary);
        _netpass_rec_t pass = {};
        netpassbase_write(rec, passage.message.c_str(), &pass);
        if (passage.archived)
            save_jpeg(rec, jpeg_.data(), static_cast<long>(jpeg_.size()));
    }

    // The occupancy journal with the given cars.
    std::string occupancy(const std::vector<_netnum_rec_t>& cars) const {
        write_text_file(net() + "/netnumbase.tpn", bytes_of(cars));
        return net() + "/netnumbase.tpn";
    }

  private:
    std::string root_;
    std::vector<unsigned char> jpeg_;
};
