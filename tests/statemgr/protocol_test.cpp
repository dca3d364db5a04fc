#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "platform/statemgr/stm_protocol.h"
#include "platform/statemgr/stmcc.h"

namespace {

stm_msg_t valid_request() {
    stm_msg_t msg = stm_message(STM_SET);
    snprintf(msg.name, sizeof msg.name, "s_make_photo");
    msg.value = 1;
    return msg;
}

} // namespace

// Every packet a client or daemon takes in passes here; whatever is not one
// whole message of ours must be told apart before any field is trusted.
TEST(StateManagerMessage, DecodeRefusesWhatIsNotAWholeMessage) {
    stm_msg_t msg = valid_request();
    stm_msg_t out;
    unsigned char packet[sizeof msg + 1];
    memcpy(packet, &msg, sizeof msg);

    EXPECT_EQ(stm_decode(packet, sizeof msg, &out), STM_WELL_FORMED);
    EXPECT_EQ(out.value, 1);
    EXPECT_STREQ(out.name, "s_make_photo");

    EXPECT_EQ(stm_decode(packet, 0, &out), STM_BAD_SIZE);
    EXPECT_EQ(stm_decode(packet, sizeof msg - 1, &out), STM_BAD_SIZE);
    EXPECT_EQ(stm_decode(packet, sizeof msg + 1, &out), STM_BAD_SIZE);

    stm_msg_t foreign = msg;
    foreign.magic ^= 1;
    EXPECT_EQ(stm_decode(&foreign, sizeof foreign, &out), STM_BAD_MAGIC);

    for (uint32_t type : {0u, 9u, 99u, 102u, 0xffffffffu}) {
        stm_msg_t odd = msg;
        odd.type = type;
        EXPECT_EQ(stm_decode(&odd, sizeof odd, &out), STM_BAD_TYPE) << type;
    }

    stm_msg_t unterminated = msg;
    memset(unterminated.name, 'x', sizeof unterminated.name);
    EXPECT_EQ(stm_decode(&unterminated, sizeof unterminated, &out), STM_UNTERMINATED_NAME);
    unterminated.name[sizeof unterminated.name - 1] = '\0';
    EXPECT_EQ(stm_decode(&unterminated, sizeof unterminated, &out), STM_WELL_FORMED);

    EXPECT_STRNE(stm_defect_str(STM_BAD_MAGIC), stm_defect_str(STM_BAD_TYPE));
}

// A state name must fit the 32-byte buffer the service hands in and one watch
// line; bytes above 127 must be refused on ARM, whose plain char is unsigned,
// as on x86.
TEST(StateManagerMessage, ItemNamesAreShortPrintableWords) {
    EXPECT_TRUE(stm_valid_item_name("s_make_photo"));
    EXPECT_TRUE(stm_valid_item_name(std::string(STMCC_NAME_MAX, 'a').c_str()));
    EXPECT_FALSE(stm_valid_item_name(std::string(STMCC_NAME_MAX + 1, 'a').c_str()));
    EXPECT_FALSE(stm_valid_item_name(""));
    EXPECT_FALSE(stm_valid_item_name("two words"));
    EXPECT_FALSE(stm_valid_item_name("line\nbreak"));
    EXPECT_FALSE(stm_valid_item_name("caf\xc3\xa9"));
    EXPECT_FALSE(stm_valid_item_name("del\x7f"));
}

// Client names are program paths: blanks and UTF-8 are fine, control
// characters are not (they would break the daemon's log and client list).
TEST(StateManagerMessage, ClientNamesAreAnyPrintableText) {
    EXPECT_TRUE(stm_valid_client_name("/usr/bin/dravel.state_mgr_2"));
    EXPECT_TRUE(stm_valid_client_name("my camera caf\xc3\xa9"));
    EXPECT_TRUE(stm_valid_client_name(std::string(255, 'n').c_str()));
    EXPECT_FALSE(stm_valid_client_name(std::string(256, 'n').c_str()));
    EXPECT_FALSE(stm_valid_client_name(""));
    EXPECT_FALSE(stm_valid_client_name("tab\tname"));
}

// The service logs these texts; every code, known or not, must give one.
TEST(StateManagerMessage, EveryResultCodeHasAText) {
    for (int code = -2; code <= STMCC_ERR_NO_MEMORY + 2; code++) {
        const char* text = stmc_get_result_str(code);
        ASSERT_NE(text, nullptr);
        EXPECT_GT(strlen(text), 0u) << code;
    }
    EXPECT_STRNE(stmc_get_result_str(STMCC_ERR_CONNECT), stmc_get_result_str(STMCC_ERR_CLOSED));
    EXPECT_STREQ(stmc_get_result_str(-1), "unknown result code");
}
