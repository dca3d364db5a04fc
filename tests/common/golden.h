// Expected output kept as text files beside the tests, so that a change of
// what a program writes is read in review as a diff of those files.
#pragma once

#include <string>

#include <gtest/gtest.h>

// Whether `produced` is the content of tests/`name` in the source tree. With
// DRAVEL_GOLDEN_REBUILD=1 in the environment the file is written anew from
// `produced` instead, and the comparison succeeds.
::testing::AssertionResult matches_golden(const std::string& name, const std::string& produced);

// `text` with every `from` replaced by `to`: for the parts of an output that
// differ from run to run, such as a scratch folder.
std::string replaced(std::string text, const std::string& from, const std::string& to);
