#include "tools/dravel-web/web_views.h"

#include <algorithm>
#include <deque>

#include "access/netpass_journal.h"
#include "support/process_values.h"
#include "tools/accessbase/access_entry.h"
#include "tools/accessbase/access_file.h"
#include "tools/accessbase/tool_files.h"
#include "tools/dravel-web/live_facts.h"
#include "tools/dravel-web/web_page.h"
#include "tools/journal-reader/html_text.h"
#include "tools/journal-reader/journal_filter.h"
#include "tools/journal-reader/journal_read.h"
#include "tools/journal-reader/passage_report.h"
#include "tools/journal-reader/table_output.h"

namespace {

constexpr size_t LIVE_PASSAGES = 20;
constexpr size_t INSIDE_SHOWN = 100;

std::string cell(const std::string& text) {
    return "<td>" + html_escaped(text) + "</td>";
}

std::string header_row(const std::vector<const char*>& names) {
    std::string row = "<tr>";
    for (const char* name : names)
        row += std::string("<th>") + name + "</th>";
    return row + "</tr>\n";
}

std::string input(const char* label, const char* name, const std::string& value = "",
                  const char* type = "text") {
    return std::string("<label>") + label + " <input type=\"" + type + "\" name=\"" + name +
           "\" value=\"" + html_escaped(value) + "\"></label> ";
}

std::string duration(int64_t seconds) {
    char text[32];
    snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 3600),
             static_cast<long long>(seconds / 60 % 60));
    return text;
}

std::string journal_path(const char* name) {
    char path[netbase_path_size];
    netbase_path(path, name);
    return path;
}

std::string preview_part(const WebSettings& settings, time_t now) {
    std::string jpeg;
    if (fresh_preview(settings.preview, now, &jpeg) != 0)
        return "<p><strong>no picture</strong></p>\n";
    return "<p><img id=\"preview\" src=\"?preview\" alt=\"the camera's picture\" "
           "width=\"704\"></p>\n";
}

std::string passages_part() {
    const std::string deviceid = gv_deviceid;
    const std::string jpegdata = first_jpegdata(deviceid);
    std::string part = "<h2>Last passages</h2>\n<table>\n" +
                       header_row({"Time", "Number", "Decision", "Owner", "Snapshot"});
    for (const LivePassage& passage :
         last_passages(journal_path(gv_netpassbase), deviceid, jpegdata, LIVE_PASSAGES)) {
        const PassRow& pass = passage.pass;
        const std::string picture = passage.snapshot.empty()
                                        ? ""
                                        : "<a href=\"?snapshot=" + url_path(passage.snapshot) +
                                              "\">" + html_escaped(passage.snapshot) + "</a>";
        part += "<tr>" + cell(format_local_time(pass.time, TimeStyle::NAMED_ZONE)) +
                cell(pass.number) + cell(pass.message) + cell(pass.info) + "<td>" + picture +
                "</td></tr>\n";
    }
    return part + "</table>\n";
}

std::string inside_part(const WebSettings& settings, time_t now, const std::string& token) {
    std::vector<InsideCar> inside =
        cars_inside_now(journal_path(gv_netnumbase), settings.access_base);
    const auto over = [now](const InsideCar& car) {
        return car.max_stay > 0 && car.car.in_time != 0 && now - car.car.in_time > car.max_stay;
    };
    // A large car park has thousands inside: those that need the operator
    // come first, then the latest, and the page stays small enough to be
    // fetched every few seconds.
    std::stable_sort(inside.begin(), inside.end(), [&over](const InsideCar& a, const InsideCar& b) {
        return over(a) != over(b) ? over(a) : a.car.in_time > b.car.in_time;
    });
    std::string part =
        "<h2>Inside</h2>\n<p>" + std::to_string(inside.size()) +
        (inside.size() == 1 ? " car" : " cars") +
        (inside.size() > INSIDE_SHOWN ? "; the " + std::to_string(INSIDE_SHOWN) +
                                            " shown are the overstays first, then the latest"
                                      : "") +
        "</p>\n<table>\n" + header_row({"Number", "Owner", "Since", "Stay", "Limit", ""});
    for (size_t i = 0; i < inside.size() && i < INSIDE_SHOWN; ++i) {
        const OccupancyRow& car = inside[i].car;
        const int32_t limit = inside[i].max_stay;
        const int64_t stay = car.in_time == 0 ? 0 : now - car.in_time;
        const std::string since =
            car.in_time == 0 ? "" : format_local_time(car.in_time, TimeStyle::NAMED_ZONE);
        const std::string left =
            token.empty()
                ? ""
                : change_form(token, "left", hidden_field("number", car.number), "Mark as left");
        part += std::string(over(inside[i]) ? "<tr class=\"over\">" : "<tr>") + cell(car.number) +
                cell(car.owner) + cell(since) + cell(car.in_time == 0 ? "" : duration(stay)) +
                cell(limit == 0 ? "" : duration(limit)) + "<td>" +
                (over(inside[i]) ? "overstay " : "") + left + "</td></tr>\n";
    }
    return part + "</table>\n";
}

std::string storages_part() {
    std::string part =
        "<h2>Storages</h2>\n<table>\n" + header_row({"Mount point", "Free", "Oldest snapshot"});
    for (const StorageFacts& storage : storage_facts(gv_deviceid)) {
        part += "<tr>" + cell(storage.mountpoint) + "<td><span class=\"free\">" +
                (storage.known ? std::to_string(storage.free_mib) + " MiB" : "unknown") +
                "</span></td>" + cell(storage.oldest) + "</tr>\n";
    }
    return part + "</table>\n";
}

bool history_filter(const FormFields& query, RowFilter* filter, int* decision) {
    filter->number = form_value(query, "number");
    const std::string day = form_value(query, "day");
    const std::string wanted = form_value(query, "decision");
    *decision = wanted == "admitted" ? 1 : wanted == "refused" ? -1 : 0;
    std::string error;
    const bool number_ok = filter->number.empty() || plate_text(filter->number, 12);
    const bool day_ok = day.empty() || (day.size() == 10 && day[4] == '-' && day[7] == '-' &&
                                        parse_time_option(day, false, &filter->from, &error) == 0 &&
                                        parse_time_option(day, true, &filter->to, &error) == 0);
    return number_ok && day_ok && (wanted.empty() || wanted == "all" || *decision != 0);
}

std::string history_form(const FormFields& query) {
    std::string decisions;
    for (const char* decision : {"all", "admitted", "refused"}) {
        decisions += std::string("<option") +
                     (form_value(query, "decision") == decision ? " selected" : "") + ">" +
                     decision + "</option>";
    }
    return "<form method=\"get\" action=\"?\">" + hidden_field("history", "") +
           input("Number (? for any one character)", "number", form_value(query, "number")) +
           input("Day", "day", form_value(query, "day"), "date") +
           "<label>Decision <select name=\"decision\">" + decisions +
           "</select></label> <button>Show</button> <button name=\"csv\" value=\"1\">"
           "CSV</button></form>\n";
}

} // namespace

std::string live_view(const WebSettings& settings, time_t now, const std::string& token) {
    // The picture's part too, so that "no picture" comes and goes with it.
    std::string content =
        "<section class=\"live\" id=\"camera\">\n" + preview_part(settings, now) + "</section>\n";
    if (!token.empty()) {
        content += change_form(token, "open", "", "Open the barrier (photo request)") + "\n";
    }
    content += "<section class=\"live\" id=\"passages\">\n" + passages_part() + "</section>\n";
    content += "<section class=\"live\" id=\"inside\">\n" + inside_part(settings, now, token) +
               "</section>\n";
    if (!token.empty()) {
        content += change_form(token, "inside",
                               input("Number", "number") +
                                   input("Inside since", "since", "", "datetime-local"),
                               "Mark as inside") +
                   "\n";
    }
    content += "<section class=\"live\" id=\"storages\">\n" + storages_part() + "</section>\n";
    return page_html("Barrier " + std::string(gv_deviceid), content, true);
}

std::string access_view(const WebSettings& settings, const std::string& query,
                        const std::string& token) {
    std::vector<_access_rec_t> records;
    std::string error;
    size_t ignored = 0;
    std::string content = "<form method=\"get\" action=\"?\">" + hidden_field("access", "") +
                          input("Search", "q", query) + "<button>Search</button></form>\n";
    if (read_access_file(settings.access_base, &records, &ignored, &error) != 0)
        content += "<p>" + html_escaped(error) + "</p>\n";
    content += "<table>\n" +
               header_row({"Pattern", "Owner", "Places", "Max. stay", "From", "To", "Text", ""});
    for (const _access_rec_t& record : records) {
        const AccessRow row = access_row(record);
        if (!query.empty() && row.number.find(query) == std::string::npos &&
            row.owner.find(query) == std::string::npos && row.text.find(query) == std::string::npos)
            continue;
        const std::string remove =
            token.empty()
                ? ""
                : change_form(token, "remove", hidden_field("pattern", row.number), "Remove");
        content += "<tr>" + cell(row.number) + cell(row.owner) + cell(row.places) +
                   cell(row.max_time) + cell(row.from) + cell(row.to) + cell(row.text) + "<td>" +
                   remove + "</td></tr>\n";
    }
    content += "</table>\n";
    if (!token.empty()) {
        content += "<h2>Add or change an entry</h2>\n<form method=\"post\" action=\"?\">" +
                   hidden_field("token", token) +
                   "<label>Action <select name=\"do\"><option value=\"add\">add</option>"
                   "<option value=\"edit\">change the entry of this pattern</option></select>"
                   "</label> " +
                   input("Pattern", "pattern") + input("Owner", "owner") +
                   input("Places", "places") + input("Max. stay (H:MM)", "max_time") +
                   input("Text", "text") + input("From (ISO 8601; empty: always)", "from") +
                   input("To (empty: always)", "to") + "<button>Save</button></form>\n";
    }
    return page_html("Access list", content, false);
}

int history_view(const FormFields& query, bool csv, std::string* body) {
    RowFilter filter;
    int decision = 0;
    if (!history_filter(query, &filter, &decision))
        return 400;
    std::deque<PassRow> shown;
    char* buffer = nullptr;
    size_t size = 0;
    FILE* lines = csv ? open_memstream(&buffer, &size) : nullptr;
    if (lines != nullptr)
        write_csv_header(lines, PASS_COLUMNS);
    RowHandlers handlers;
    handlers.pass = [&](const PassRow& row) {
        if (!keeps(filter, row) || (decision != 0 && admitted(row) != (decision > 0)))
            return true;
        if (lines != nullptr)
            return write_csv_line(lines, pass_cells(row, TimeStyle::ZONE_OFFSET)) == 0;
        shown.push_back(row);
        if (shown.size() > HISTORY_SHOWN)
            shown.pop_front();
        return true;
    };
    std::string why;
    FILE* file = open_input(journal_path(gv_netpassbase), &why);
    JournalFaults faults;
    if (file != nullptr) {
        read_journal(file, JournalKind::PASS_RECORDS, "", handlers, &faults);
        fclose(file);
    }
    if (lines != nullptr) {
        fclose(lines);
        body->assign(buffer, size);
        free(buffer);
        return 0;
    }
    std::string content = history_form(query) + "<table>\n<tr>";
    for (const Column& column : PASS_COLUMNS)
        content += std::string("<th>") + column.name + "</th>";
    content += "</tr>\n";
    for (const PassRow& row : shown) {
        content += "<tr>";
        for (const std::string& text : pass_cells(row, TimeStyle::NAMED_ZONE))
            content += cell(text);
        content += "</tr>\n";
    }
    *body = page_html("History", content + "</table>\n", false);
    return 0;
}
