// A full disk must not pass for a complete listing: a tool
// whose output cannot be written says so and fails.
#include <cstdio>
#include <string>
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
    Transcript runs;
    for (const char* line : {"list", "export", "--help", "export /dev/full"}) {
        runs.run(accessbase_main, {"accessbase", "--file", base}, words_of(line), full);
        clearerr(full);
    }
    for (const char* line : {"", "--csv"}) {
        runs.run(journal_reader_main, {"journal-reader", journal}, words_of(line), full);
        clearerr(full);
    }
    fclose(full);
    EXPECT_TRUE(matches_golden("tools/golden/tool-output.txt", replaced(runs.text, dir, "DIR")));
}
