#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "platform/statemgr/stm_protocol.h"
#include "platform/statemgr/stmcc.h"

// Every packet a client or daemon takes in passes here; whatever is not one
// whole message of ours must be told apart before any field is trusted.
TEST(StateManagerMessage, DecodeRefusesWhatIsNotAWholeMessage) {
    stm_msg_t msg = stm_message(STM_SET);
    snprintf(msg.name, sizeof msg.name, "s_make_photo");
    msg.value = 1;
    stm_msg_t out;
    unsigned char packet[sizeof msg + 1] = {};
    memcpy(packet, &msg, sizeof msg);

    EXPECT_EQ(stm_decode(packet, sizeof msg, &out), STM_WELL_FORMED);
    EXPECT_EQ(out.value, 1);
    EXPECT_STREQ(out.name, "s_make_photo");
    EXPECT_EQ(stm_decode(packet, 0, &out), STM_BAD_SIZE);
    EXPECT_EQ(stm_decode(packet, sizeof msg - 1, &out), STM_BAD_SIZE);
    EXPECT_EQ(stm_decode(packet, sizeof msg + 1, &out), STM_BAD_SIZE);

    stm_msg_t odd = msg;
    odd.magic ^= 1;
    EXPECT_EQ(stm_decode(&odd, sizeof odd, &out), STM_BAD_MAGIC);
    for (uint32_t type : {0u, 9u, 99u, 102u, 0xffffffffu}) {
        odd = msg;
        odd.type = type;
        EXPECT_EQ(stm_decode(&odd, sizeof odd, &out), STM_BAD_TYPE) << type;
    }
    odd = msg;
    memset(odd.name, 'x', sizeof odd.name);
    EXPECT_EQ(stm_decode(&odd, sizeof odd, &out), STM_UNTERMINATED_NAME);
    odd.name[sizeof odd.name - 1] = '\0';
    EXPECT_EQ(stm_decode(&odd, sizeof odd, &out), STM_WELL_FORMED);
}

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
    EXPECT_FALSE(stm_valid_client_name(std::string(256, 'n').c_str()));
    EXPECT_FALSE(stm_valid_client_name(""));
    EXPECT_FALSE(stm_valid_client_name("tab\tname"));
}
