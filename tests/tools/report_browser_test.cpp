// The passage report as a browser shows it: Chromium opens the page, runs
// its script and hands back the DOM, in which the rows, the loaded
// snapshots and the filters are checked.
#include <cstdio>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/tools/car_park.h"
#include "tests/tools/time_zone.h"
#include "tests/tools/tool_run.h"
#include "tools/journal-reader/html_text.h"
#include "tools/journal-reader/reader_cli.h"

namespace {

const int32_t T0 = 1237010709; // 2009-03-14 08:05:09 in a zone two hours east
const int32_t DAY = 86400;

bool have_chromium() {
    return system("command -v chromium >/dev/null 2>&1") == 0;
}

// The DOM of `page` after its script ran and its pictures loaded (the
// virtual time budget lets the load events fire before the dump); empty
// when the browser failed.
std::string rendered(const std::string& page, const std::string& fragment,
                     const std::string& profile) {
    const std::string command =
        "chromium --headless --disable-gpu --no-sandbox --no-first-run --mute-audio "
        "--window-size=1400,4000 --virtual-time-budget=5000 --user-data-dir='" +
        profile + "' --dump-dom 'file://" + url_path(page) + "#" + fragment + "' 2>/dev/null";
    FILE* browser = popen(command.c_str(), "r");
    if (browser == nullptr)
        return "";
    std::string dom;
    char chunk[4096];
    for (size_t got; (got = fread(chunk, 1, sizeof chunk, browser)) > 0;)
        dom.append(chunk, got);
    return pclose(browser) == 0 ? dom : "";
}

std::string attribute(const std::string& tag, const std::string& name) {
    std::smatch found;
    const std::regex pattern(" " + name + "=\"([^\"]*)\"");
    return std::regex_search(tag, found, pattern) ? found[1].str() : "";
}

std::vector<std::string> tags(const std::string& dom, const char* start) {
    std::vector<std::string> found;
    const std::regex pattern(std::string(start) + "[^>]*>");
    for (auto it = std::sregex_iterator(dom.begin(), dom.end(), pattern);
         it != std::sregex_iterator(); ++it)
        found.push_back(it->str());
    return found;
}

// The numbers of the passage rows the filters leave visible, in page order.
std::vector<std::string> visible_numbers(const std::string& dom) {
    std::vector<std::string> numbers;
    for (const std::string& row : tags(dom, "<tr class=\"passage\"")) {
        if (row.find(" hidden") == std::string::npos)
            numbers.push_back(attribute(row, "data-number"));
    }
    return numbers;
}

class ReportInBrowser : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!have_chromium())
            GTEST_SKIP() << "chromium is not installed: the passage report is not checked in a "
                            "browser";
        root_ = empty_scratch_dir("report-browser");
        mkdir((root_ + "/report").c_str(), 0700);
    }

    std::string root_;
    ZoneForTest zone_{"EET-2EEST,M3.5.0/3,M10.5.0/4"};
};

TEST_F(ReportInBrowser, RowsSnapshotsAndFiltersWork) {
    CarPark park(root_);
    park.add_board("gate-in");
    park.add_board("gate-out");
    const std::string allowed = cp1251("Разрешено");
    const std::string refused = cp1251("Запрещено автоматически, нет в списке");
    const std::string operated = cp1251("Пропущено оператором");
    const Passage passages[] = {
        {T0, "A123BC77", "gate-in", 1, 1, 0, allowed, cp1251("Иванов: въезд (0+1)"), true},
        {T0 + 60, "K555KK", "gate-in", 0, 0, 0, refused, "", true},
        {T0 + 120, "M001MM", "gate-in", 0, 1, 1, operated, "", false},
        {T0 + DAY, "A123BC77", "gate-out", 1, -1, 0, allowed, cp1251("<i>Иванов</i> & Co"), true},
        {T0 + DAY + 30, "K555KK", "gate-out", 0, 0, 0, refused, "", true},
    };
    for (const Passage& passage : passages)
        park.record(passage);
    _netnum_rec_t inside = {};
    snprintf(inside.number, sizeof inside.number, "M001MM");
    inside.places = 1;
    inside.in_time = T0 + 120;
    const std::string page = root_ + "/report/passages.html";
    std::string out, err;
    ASSERT_EQ(run_tool(journal_reader_main, {"journal-reader"},
                       "--report " + page + " --pass " + park.net() + "/netpassbase.tpn" +
                           " --archive " + park.archive("gate-in") + " --archive " +
                           park.archive("gate-out") + " --occupancy " + park.occupancy({inside}),
                       &out, &err),
              0)
        << err;

    const std::string profile = root_ + "/profile";
    const std::string dom = rendered(page, "", profile);
    ASSERT_NE(dom, "") << "chromium could not render " << page;
    EXPECT_EQ(visible_numbers(dom),
              (std::vector<std::string>{"A123BC77", "K555KK", "M001MM", "A123BC77", "K555KK"}));
    EXPECT_NE(dom.find("<output id=\"shown\">5 of 5 passages shown</output>"), std::string::npos);
    // Each archived passage's snapshot, found through its relative link and
    // decoded by the browser at the archived JPEG's size.
    const std::vector<std::string> images = tags(dom, "<img class=\"snapshot\"");
    ASSERT_EQ(images.size(), 4u) << dom;
    for (const std::string& image : images)
        EXPECT_EQ(attribute(image, "data-natural-width"), "704") << image;
    EXPECT_NE(dom.find("<td class=\"none\">not archived</td>"), std::string::npos);
    // The owner text stays text: no element of it reaches the page.
    EXPECT_NE(dom.find("&lt;i&gt;Иванов&lt;/i&gt; &amp; Co"), std::string::npos);
    EXPECT_EQ(dom.find("<i>"), std::string::npos);
    EXPECT_NE(dom.find("<td class=\"number\">M001MM</td><td></td><td class=\"time\">2009-03-14 "
                       "08:07:09 EET</td>"),
              std::string::npos)
        << "inside now";

    const struct {
        const char* fragment;
        std::vector<std::string> shown;
    } filters[] = {
        // Part of a number, in either case, "?" for any one character.
        {"number=a1%3F3", {"A123BC77", "A123BC77"}},
        {"day=2009-03-15", {"A123BC77", "K555KK"}},
        {"decision=refused", {"K555KK", "K555KK"}},
        {"decision=admitted&day=2009-03-14", {"A123BC77", "M001MM"}},
    };
    for (const auto& filter : filters) {
        const std::string filtered = rendered(page, filter.fragment, profile);
        EXPECT_EQ(visible_numbers(filtered), filter.shown) << filter.fragment;
    }
}

} // namespace
