// Every board of the end-to-end tests runs at once, in one batch, before the
// first test looks at what they left: each test file registers its boards.
#pragma once

#include <gtest/gtest.h>

#include "tests/e2e/board.h"

struct RegisterBoards {
    explicit RegisterBoards(std::vector<BoardSetup> boards);
};

class Boards : public ::testing::Test {
  protected:
    static void SetUpTestSuite();
};

// What the boards are given.
namespace inputs {

// streams.ini of a gate: device id, net-base folder /mnt/net/, stream or
// single-frame recognition, and any further sections.
std::string streams_ini(bool single_frame, const std::string& more = "");

// An access-base CSV of `rows` ("number,owner,places,max_time,text"), each
// valid all the time.
std::string access_csv(const std::vector<std::string>& rows);

extern const char DEVICE_ID[];
extern const char ADMITTED[];    // allowed automatically by the list
extern const char NOT_LISTED[];  // refused automatically, not in the list
extern const char BY_OPERATOR[]; // allowed by hand by the operator

} // namespace inputs
