#include <string>

#include <gtest/gtest.h>

#include "platform/statemgr/stm_protocol.h"
#include "platform/statemgr/stmcc.h"

// A state name must fit the 32-byte buffer the service hands in and one watch
// line; bytes above 127 must be refused on ARM, whose plain char is unsigned,
// as on x86. Client names are program paths: blanks and UTF-8 are fine,
// control characters are not.
TEST(StateManagerMessage, NamesStayPrintableAndWithinTheirBuffers) {
    EXPECT_TRUE(stm_valid_item_name("s_make_photo"));
    EXPECT_TRUE(stm_valid_item_name(std::string(STMCC_NAME_MAX, 'a').c_str()));
    for (const char* bad : {"", "two words", "line\nbreak", "caf\xc3\xa9", "del\x7f"})
        EXPECT_FALSE(stm_valid_item_name(bad)) << bad;
    EXPECT_FALSE(stm_valid_item_name(std::string(STMCC_NAME_MAX + 1, 'a').c_str()));

    EXPECT_TRUE(stm_valid_client_name("/usr/bin/my camera caf\xc3\xa9.state_mgr_2"));
    EXPECT_TRUE(stm_valid_client_name(std::string(255, 'n').c_str()));
    for (const std::string& bad : {std::string(256, 'n'), std::string(), std::string("tab\tname")})
        EXPECT_FALSE(stm_valid_client_name(bad.c_str())) << bad;
}
