#include "tests/e2e/boards.h"

namespace {

std::vector<BoardSetup>& registered() {
    static std::vector<BoardSetup> boards;
    return boards;
}

} // namespace

RegisterBoards::RegisterBoards(std::vector<BoardSetup> boards) {
    registered().insert(registered().end(), boards.begin(), boards.end());
}

void Boards::SetUpTestSuite() {
    run_boards(registered());
}

namespace inputs {

const char DEVICE_ID[] = "gate-1";
const char ADMITTED[] = "Разрешено автоматически по списку";
const char NOT_LISTED[] = "Запрещено автоматически, нет в списке";
const char BY_OPERATOR[] = "Разрешено вручную оператором";

std::string streams_ini(bool single_frame, const std::string& more) {
    return std::string("[common]\ndeviceid = ") + DEVICE_ID +
           "\n[net_base]\nuse_local_storage = 0\nmountdir = /mnt/net/\n"
           "[recognizer]\nrecogn_single = " +
           (single_frame ? "1" : "0") + "\n" + more;
}

std::string access_csv(const std::vector<std::string>& rows) {
    std::string csv = "number,from,to,owner,places,max_time,text\n";
    for (const std::string& row : rows) {
        const size_t comma = row.find(',');
        csv += row.substr(0, comma) + ",2000-01-01T00:00:00Z,2037-12-31T23:59:59Z" +
               row.substr(comma) + "\n";
    }
    return csv;
}

} // namespace inputs
