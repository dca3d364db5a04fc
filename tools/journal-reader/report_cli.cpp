#include "tools/journal-reader/report_cli.h"

#include <cerrno>
#include <cstring>

#include "tools/accessbase/tool_files.h"
#include "tools/journal-reader/journal_files.h"
#include "tools/journal-reader/report_html.h"

namespace {

std::string folder_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

int write_page(const std::string& path, const Report& report, FILE* err) {
    const std::string temporary = path + ".tmp";
    FILE* page = fopen(temporary.c_str(), "w");
    if (page == nullptr) {
        fprintf(err, "journal-reader: can't write %s: %s\n", temporary.c_str(), strerror(errno));
        return -1;
    }
    bool written = write_report_html(page, report) == 0 && fflush(page) == 0;
    int error = errno;
    if (fclose(page) != 0 && written) {
        written = false;
        error = errno;
    }
    if (written && rename(temporary.c_str(), path.c_str()) != 0) {
        written = false;
        error = errno;
    }
    if (written)
        return 0;
    fprintf(err, "journal-reader: can't write %s: %s\n", path.c_str(), strerror(error));
    remove(temporary.c_str());
    return -1;
}

} // namespace

int make_report(const ReportRequest& request, FILE* out, FILE* err) {
    std::vector<std::string> inputs{request.pass, request.occupancy};
    for (const std::string& archive : request.archives) {
        inputs.push_back(archive + "/passbase.tpp");
        inputs.push_back(archive + "/passbase.csv");
    }
    std::string why;
    if (check_output(request.output, inputs, &why) != 0) {
        fprintf(err, "journal-reader: won't write %s: %s\n", request.output.c_str(), why.c_str());
        return 1;
    }
    // A page on standard output links its snapshots from where it is made.
    const bool to_output = request.output == "-";
    const std::string folder = resolved_path(to_output ? "." : folder_of(request.output));
    if (folder.empty()) {
        fprintf(err, "journal-reader: can't write %s: %s\n", request.output.c_str(),
                strerror(errno));
        return 1;
    }
    Report report;
    const int gathered = gather_report(request, folder, &report, err);
    if (gathered == GATHER_FAILED)
        return 1;
    if (to_output ? write_report_html(out, report) != 0
                  : write_page(request.output, report, err) != 0)
        return 1;
    size_t pictures = 0;
    for (const ReportPassage& passage : report.passages)
        pictures += passage.archive.snapshot.empty() ? 0 : 1;
    fprintf(to_output ? err : out, "%s: %zu %s, %zu with a snapshot\n",
            to_output ? "standard output" : request.output.c_str(), report.passages.size(),
            report.passages.size() == 1 ? "passage" : "passages", pictures);
    return gathered == GATHERED_WHOLE ? 0 : 1;
}
