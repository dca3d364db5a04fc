#include "tools/journal-reader/report_html.h"

#include <string>

#include "tools/journal-reader/html_text.h"
#include "tools/journal-reader/journal_time.h"
#include "tools/journal-reader/report_assets.h"

namespace {

// Every write is checked, so that a full disk never leaves a page that
// looks whole; after the first failure nothing more is written.
struct Page {
    FILE* out;
    bool ok = true;
    void put(const std::string& text) {
        ok = ok && fwrite(text.data(), 1, text.size(), out) == text.size();
    }
};

std::string cell(const std::string& text, const char* css_class = nullptr) {
    const std::string open = css_class != nullptr ? std::string("<td class=\"") + css_class + "\">"
                                                  : std::string("<td>");
    return open + html_escaped(text) + "</td>";
}

std::string header_row(std::initializer_list<const char*> names) {
    std::string row = "<thead><tr>";
    for (const char* name : names)
        row += std::string("<th>") + name + "</th>";
    return row + "</tr></thead>\n";
}

void write_days(Page* page, const std::vector<DayCount>& days) {
    page->put("<section id=\"days\">\n<h2>Passages per day</h2>\n<table>\n");
    page->put(header_row({"day", "passages", "admitted", "refused"}) + "<tbody>\n");
    for (const DayCount& day : days) {
        page->put("<tr>" + cell(day.day) + cell(std::to_string(day.passages), "count") +
                  cell(std::to_string(day.admitted), "count") +
                  cell(std::to_string(day.passages - day.admitted), "count") + "</tr>\n");
    }
    page->put("</tbody>\n</table>\n</section>\n");
}

void write_inside(Page* page, const std::vector<OccupancyRow>& inside) {
    page->put("<section id=\"inside\">\n<h2>Inside now</h2>\n");
    if (inside.empty()) {
        page->put("<p>No car is inside.</p>\n</section>\n");
        return;
    }
    page->put("<table>\n" + header_row({"number", "owner", "since"}) + "<tbody>\n");
    for (const OccupancyRow& car : inside) {
        const std::string since =
            car.in_time != 0 ? format_local_time(car.in_time, TimeStyle::NAMED_ZONE) : "";
        page->put("<tr>" + cell(car.number, "number") + cell(car.owner) + cell(since, "time") +
                  "</tr>\n");
    }
    page->put("</tbody>\n</table>\n<p>" + std::to_string(inside.size()) +
              (inside.size() == 1 ? " car" : " cars") + " inside.</p>\n</section>\n");
}

// Before everything else: passages missing from the page must not go
// unnoticed.
void write_damage(Page* page, const Report& report) {
    if (report.faults.empty())
        return;
    const size_t damaged = report.damaged_records;
    const std::string whole = "the journals are not whole";
    const std::string heading = damaged == 0
                                    ? "T" + whole.substr(1)
                                    : std::to_string(damaged) +
                                          (damaged == 1 ? " damaged record" : " damaged records") +
                                          " skipped: " + whole;
    page->put("<section id=\"damage\">\n<h2>" + heading + "</h2>\n<ul>\n");
    for (const std::string& fault : report.faults)
        page->put("<li>" + html_escaped(fault) + "</li>\n");
    if (report.untold_faults > 0)
        page->put("<li>" + std::to_string(report.untold_faults) + " more</li>\n");
    page->put("</ul>\n</section>\n");
}

void write_filters(Page* page, const std::vector<DayCount>& days) {
    page->put("<form id=\"filters\" onsubmit=\"return false\">\n"
              "<label>Number <input id=\"filter-number\" type=\"search\" "
              "placeholder=\"part of it; ? for any character\"></label>\n"
              "<label>Day <select id=\"filter-day\"><option value=\"\">every day</option>");
    for (const DayCount& day : days) {
        const std::string value = html_escaped(day.day);
        page->put("<option value=\"" + value + "\">" + value + "</option>");
    }
    page->put("</select></label>\n"
              "<label>Decision <select id=\"filter-decision\"><option value=\"\">all</option>"
              "<option value=\"admitted\">admitted</option>"
              "<option value=\"refused\">refused</option></select></label>\n"
              "<output id=\"shown\"></output>\n</form>\n");
}

std::string snapshot_cell(const ReportPassage& passage) {
    if (!passage.archived)
        return "<td class=\"none\">not archived</td>";
    if (passage.archive.pruned)
        return "<td class=\"none\">removed by the archive keeper</td>";
    if (passage.archive.snapshot.empty())
        return "<td class=\"none\">no snapshot</td>";
    const std::string link = html_escaped(passage.archive.snapshot);
    return "<td><a href=\"" + link + "\"><img class=\"snapshot\" src=\"" + link +
           "\" alt=\"snapshot of " + html_escaped(passage.pass.number) +
           "\" loading=\"lazy\"></a></td>";
}

void write_passage(Page* page, const ReportPassage& passage) {
    const PassRow& pass = passage.pass;
    const char* decision = admitted(pass) ? "admitted" : "refused";
    const std::string decided =
        admitted(pass) && pass.by_button != 0 ? "admitted by the operator" : decision;
    page->put("<tr class=\"passage\" data-number=\"" + html_escaped(pass.number) +
              "\" data-day=\"" + html_escaped(local_day(pass.time)) + "\" data-decision=\"" +
              decision + "\">" + cell(format_local_time(pass.time, TimeStyle::NAMED_ZONE), "time") +
              cell(pass.deviceid) + cell(pass.number, "number") +
              cell(pass.in_list != 0 ? "yes" : "no") + cell(decided, decision) +
              cell(pass.message) + cell(passage.archive.summary) + snapshot_cell(passage) +
              "</tr>\n");
}

} // namespace

int write_report_html(FILE* out, const Report& report) {
    Page page{out};
    const std::vector<DayCount> days = count_days(report.passages);
    page.put("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
             "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
             "<title>Passages</title>\n<style>");
    page.put(REPORT_STYLE);
    page.put("</style>\n</head>\n<body>\n<h1>Passages</h1>\n");
    write_damage(&page, report);
    write_days(&page, days);
    if (report.occupancy_given)
        write_inside(&page, report.inside);
    page.put("<section id=\"passages\">\n<h2>Every passage</h2>\n");
    write_filters(&page, days);
    page.put("<table>\n" +
             header_row({"time", "board", "number", "listed", "decision", "message", "owner",
                         "snapshot"}) +
             "<tbody>\n");
    for (const ReportPassage& passage : report.passages)
        write_passage(&page, passage);
    page.put("</tbody>\n</table>\n</section>\n<script>");
    page.put(REPORT_SCRIPT);
    page.put("</script>\n</body>\n</html>\n");
    return page.ok ? 0 : -1;
}
