// The access-base editor run in-process on the base "accessbase.tpa" in
// its test's folder.
#pragma once

#include <string>

#include "tests/tools/tool_run.h"
#include "tools/accessbase/accessbase_cli.h"

class AccessBaseTool : public ToolTest {
  protected:
    AccessBaseTool() : ToolTest(accessbase_main, "accessbase", {}) {}
    int run(const std::string& line) {
        words_ = {"accessbase", "--file", file_};
        return ToolTest::run(line);
    }
    std::string file_ = dir_ + "/accessbase.tpa";
};
