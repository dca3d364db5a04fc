#include "tools/journal-reader/report_sources.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

#include "tools/archive-keeper/snapshot_names.h"
#include "tools/accessbase/tool_files.h"
#include "tools/journal-reader/html_text.h"
#include "tools/journal-reader/journal_files.h"
#include "tools/journal-reader/journal_read.h"
#include "tools/journal-reader/occupancy_view.h"

namespace {

bool ends_with(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool file_exists(const std::string& path) {
    struct stat status;
    return stat(path.c_str(), &status) == 0;
}

// A snapshot worth a thumbnail: the archive writes an empty file when the
// passage had no JPEG, and a browser shows that as a broken image.
bool has_picture(const std::string& path) {
    struct stat status;
    return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0;
}

// Reads one journal; its faults are told on `err` and on the page.
int read_source(const std::string& path, JournalKind kind, const std::string& deviceid,
                const RowHandlers& handlers, Report* report, FILE* err) {
    std::string why;
    FILE* file = open_input(path, &why);
    if (file == nullptr) {
        fprintf(err, "journal-reader: can't open %s: %s\n", path.c_str(), why.c_str());
        return GATHER_FAILED;
    }
    JournalFaults faults;
    const int read = read_journal(file, kind, deviceid, handlers, &faults);
    const int error = errno;
    fclose(file);
    tell_faults(err, path, faults);
    for (const JournalFault& fault : faults.kept)
        report->faults.push_back(path + ": " + fault.what);
    report->untold_faults += faults.count - faults.kept.size();
    report->damaged_records += faults.damaged_records;
    if (read == READ_FAILED) {
        fprintf(err, "journal-reader: can't read %s: %s\n", path.c_str(), strerror(error));
        return GATHER_FAILED;
    }
    return faults.count == 0 ? GATHERED_WHOLE : GATHERED_FAULTS;
}

// One board's archive: its records, or where the records file could not be
// written, its text lines, which the service appends all the same.
int read_archive(const std::string& folder, const std::string& report_dir, const RowFilter& filter,
                 ArchiveIndex* index, Report* report, FILE* err) {
    const std::string resolved = resolved_path(folder);
    if (resolved.empty()) {
        fprintf(err, "journal-reader: can't open the archive %s: %s\n", folder.c_str(),
                strerror(errno));
        return GATHER_FAILED;
    }
    const bool records = file_exists(resolved + "/passbase.tpp");
    const std::string path = resolved + (records ? "/passbase.tpp" : "/passbase.csv");
    const std::string jpegdata = resolved + "/jpegdata";
    const std::string link = url_path(relative_path(report_dir, jpegdata)) + "/";
    // The archive keeper removes the oldest snapshots first, so a JPEG gone
    // whose name sorts before the oldest one there was removed by it; one
    // gone after it was never archived whole.
    std::vector<std::string> snapshots, temporaries;
    list_snapshots(jpegdata, &snapshots, &temporaries);
    const std::string oldest = snapshots.empty() ? "" : snapshots.front();
    RowHandlers handlers;
    handlers.archive = [&](const ArchiveRow& row) {
        if (keeps(filter, row)) {
            const std::string jpeg = jpegdata + "/" + row.jpeg;
            const bool picture = has_picture(jpeg);
            const bool pruned = !picture && row.jpeg < oldest && !file_exists(jpeg);
            (*index)[ArchiveKey{row.deviceid, row.time, row.number}].push_back(
                ArchivedPassage{row.summary, picture ? link + url_path(row.jpeg) : "", pruned});
        }
        return true;
    };
    return read_source(path, records ? JournalKind::ARCHIVE_RECORDS : JournalKind::ARCHIVE_LINES,
                       resolved.substr(resolved.rfind('/') + 1), handlers, report, err);
}

int worse(int one, int other) {
    return one == GATHER_FAILED || other == GATHER_FAILED ? GATHER_FAILED : std::max(one, other);
}

} // namespace

int gather_report(const ReportRequest& request, const std::string& report_dir, Report* report,
                  FILE* err) {
    int status = GATHERED_WHOLE;
    ArchiveIndex archived;
    for (const std::string& folder : request.archives) {
        status =
            worse(status, read_archive(folder, report_dir, request.filter, &archived, report, err));
        if (status == GATHER_FAILED)
            return status;
    }
    RowHandlers pass;
    pass.pass = [&](const PassRow& row) {
        if (keeps(request.filter, row)) {
            ReportPassage passage{row, false, {}};
            passage.archived = take_archived(
                &archived, ArchiveKey{row.deviceid, row.time, row.number}, &passage.archive);
            report->passages.push_back(passage);
        }
        return true;
    };
    const JournalKind pass_kind =
        ends_with(request.pass, ".csv") ? JournalKind::PASS_LINES : JournalKind::PASS_RECORDS;
    status = worse(status, read_source(request.pass, pass_kind, "", pass, report, err));
    if (status == GATHER_FAILED || request.occupancy.empty())
        return status;
    std::vector<OccupancyRow> cars;
    RowHandlers occupancy;
    occupancy.occupancy = [&cars](const OccupancyRow& row) {
        cars.push_back(row);
        return true;
    };
    status = worse(
        status, read_source(request.occupancy, JournalKind::OCCUPANCY, "", occupancy, report, err));
    report->occupancy_given = true;
    report->inside = cars_inside(cars);
    return status;
}
