// A full disk or a closed pipe must not pass for a complete listing: a tool
// whose output cannot be written says so and fails.
#include <csignal>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "tests/tools/tool_run.h"
#include "tools/accessbase/accessbase_cli.h"
#include "tools/journal-reader/reader_cli.h"

TEST(ToolOutput, OutputThatCannotBeWrittenFails) {
    const std::string dir = empty_scratch_dir("tool-output");
    const std::string base = dir + "/accessbase.tpa", journal = dir + "/netpassbase.csv";
    Transcript setup;
    ASSERT_EQ(setup.run(accessbase_main, {"accessbase", "--file", base}, {"create"}), 0);
    ASSERT_EQ(setup.run(accessbase_main, {"accessbase", "--file", base}, {"add", "A1"}), 0);
    write_text_file(journal, "14-03-2009;08:05:09;A1;2;1;1;m;i;0;gate\n");
    int pipe_ends[2];
    ASSERT_EQ(pipe(pipe_ends), 0);
    close(pipe_ends[0]);
    const sighandler_t previous = signal(SIGPIPE, SIG_IGN);
    FILE* closed_pipe = fdopen(pipe_ends[1], "w");
    FILE* full = fopen("/dev/full", "w");
    ASSERT_TRUE(closed_pipe != nullptr && full != nullptr);
    const struct {
        ToolMain tool;
        std::vector<std::string> words;
        FILE* out;
    } runs[] = {
        {accessbase_main, {"accessbase", "--file", base, "list"}, full},
        {accessbase_main, {"accessbase", "--file", base, "export"}, full},
        {accessbase_main, {"accessbase", "--help"}, full},
        {accessbase_main, {"accessbase", "--file", base, "list"}, closed_pipe},
        {accessbase_main, {"accessbase", "--file", base, "export", "/dev/full"}, full},
        {journal_reader_main, {"journal-reader", journal}, full},
        {journal_reader_main, {"journal-reader", "--csv", journal}, full},
    };
    std::string said;
    for (const auto& each : runs) {
        std::string err;
        EXPECT_EQ(run_tool_into(each.tool, each.words, {}, each.out, &err), 1) << err;
        said += err;
        clearerr(each.out);
    }
    fclose(closed_pipe);
    fclose(full);
    signal(SIGPIPE, previous);
    EXPECT_TRUE(matches_golden("tools/golden/tool-output.txt", replaced(said, dir, "DIR")));
}
