// A folder of its own for each access-base editor test, emptied afterwards,
// and the editor run in-process on the base "accessbase.tpa" in it.
#pragma once

#include <cstdlib>
#include <ftw.h>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/common/golden.h"
#include "tests/support/scratch_dir.h"
#include "tests/tools/tool_run.h"
#include "tools/accessbase/accessbase_cli.h"

class AccessBaseTool : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = scratch_dir("accessbase") + "/XXXXXX";
        ASSERT_NE(mkdtemp(&dir_[0]), nullptr);
        file_ = dir_ + "/accessbase.tpa";
    }
    void TearDown() override {
        nftw(
            dir_.c_str(),
            [](const char* path, const struct stat*, int, FTW*) { return remove(path); }, 16,
            FTW_DEPTH | FTW_PHYS);
    }

    // Runs the editor on the base, noted in the transcript.
    int run(const std::string& line) {
        const int status = runs_.run(accessbase_main, {"accessbase", "--file", file_}, line);
        out_ = runs_.out;
        err_ = runs_.err;
        return status;
    }
    // Whether the runs so far wrote what tests/tools/golden/`name` holds.
    ::testing::AssertionResult runs_match(const std::string& name) {
        return matches_golden("tools/golden/" + name, replaced(runs_.text, dir_, "DIR"));
    }

    std::string dir_, file_;
    std::string out_, err_; // of the last run
    Transcript runs_;
};
