// A full disk must not pass for a complete listing: a tool
// whose output cannot be written says so and fails.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tests/tools/tool_run.h"
#include "tools/accessbase/accessbase_cli.h"
#include "tools/journal-reader/reader_cli.h"

TEST(ToolOutput, OutputThatCannotBeWrittenFails) {
    const std::string dir = empty_scratch_dir("tool-output");
    const std::string base = dir + "/accessbase.tpa", journal = dir + "/netpassbase.csv";
    write_text_file(base, ""); // an empty base
    write_text_file(journal, "14-03-2009;08:05:09;A1;2;1;1;m;i;0;gate\n");
    FILE* full = fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    const std::pair<ToolMain, std::vector<std::string>> runs[] = {
        {accessbase_main, {"accessbase", "--file", base, "list"}},
        {accessbase_main, {"accessbase", "--file", base, "export"}},
        {accessbase_main, {"accessbase", "--help"}},
        {accessbase_main, {"accessbase", "--file", base, "export", "/dev/full"}},
        {journal_reader_main, {"journal-reader", journal}},
        {journal_reader_main, {"journal-reader", "--csv", journal}},
    };
    std::string said;
    for (const auto& each : runs) {
        std::string err;
        EXPECT_EQ(run_tool_into(each.first, each.second, full, &err), 1) << err;
        said += err;
        clearerr(full);
    }
    fclose(full);
    EXPECT_TRUE(matches_golden("tools/golden/tool-output.txt", replaced(said, dir, "DIR")));
}
