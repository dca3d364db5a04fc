#include <vector>

#include "tests/core/config_fixture.h"

using RecognizerSettings = ConfigTest;

namespace {

std::vector<std::string> logged_texts() {
    std::vector<std::string> texts;
    for (const auto& line : syslog_capture::lines()) {
        EXPECT_EQ(line.priority, 0) << line.text;
        texts.push_back(line.text);
    }
    return texts;
}

} // namespace

// The engine reads the block byte by byte, padding included.
TEST_F(RecognizerSettings, DefaultsFillTheWholeBlock) {
    memset(&gv.recognizer_params, 0xA5, sizeof gv.recognizer_params);
    set_recognizer_defaults();
    const RecognizerParams& params = gv.recognizer_params;
    EXPECT_EQ(params.average_plate_width, 17.0);
    EXPECT_EQ(params.reserved, 0.0);
    EXPECT_EQ(params.extra_sensitivity, 0.0);
    EXPECT_FALSE(params.eliminate_geometry);
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&params);
    for (size_t i = offsetof(RecognizerParams, eliminate_geometry); i < sizeof params; ++i)
        EXPECT_EQ(bytes[i], 0) << "byte " << i;
}

TEST_F(RecognizerSettings, MissingFileIsLoggedAndKeepsTheDefaults) {
    EXPECT_EQ(load_config(), 0);
    EXPECT_EQ(logged_texts(), std::vector<std::string>{"load_config: Can not open " + ini_path()});
    EXPECT_EQ(gv.recognizer_params.average_plate_width, 17.0);
    EXPECT_EQ(gv.recognizer_params.extra_sensitivity, 0.0);
    EXPECT_FALSE(gv.recognizer_params.eliminate_geometry);
}

TEST_F(RecognizerSettings, MissingKeysUseTheDefaults) {
    write_ini("[recognizer]\n");
    gv.recogn_single = 1;
    EXPECT_EQ(load_config(), 0);
    const std::vector<std::string> expected = {
        "load_config: Can not get streams.ini/recognizer/average_plate_width. Use default.",
        "load_config: Average plate width: 17.0",
        "load_config: Can not get streams.ini/recognizer/extra_sensitivity. Use default.",
        "load_config: Extra sensitivity: 0.0",
        "load_config: Can not get streams.ini/recognizer/eliminate_geometry. Use default.",
        "load_config: Eliminate geometry: false",
        "load_config: Can not get streams.ini/recognizer/recogn_single. Use default.",
        "load_config: Recognize: video stream",
    };
    EXPECT_EQ(logged_texts(), expected);
    EXPECT_EQ(gv.recognizer_params.average_plate_width, 17.0);
    EXPECT_EQ(gv.recogn_single, 0);
}

TEST_F(RecognizerSettings, ReadsAllFourKeys) {
    write_ini("[recognizer]\n"
              "average_plate_width = 21.5\n"
              "extra_sensitivity = 1.5\n"
              "eliminate_geometry = 7\n"
              "recogn_single = 1\n");
    EXPECT_EQ(load_config(), 1);
    const std::vector<std::string> expected = {
        "load_config: Average plate width: 21.5",
        "load_config: Extra sensitivity: 1.5",
        "load_config: Eliminate geometry: true",
        "load_config: Recognize: each single frame",
    };
    EXPECT_EQ(logged_texts(), expected);
    const RecognizerParams& params = gv.recognizer_params;
    EXPECT_EQ(params.average_plate_width, 21.5);
    EXPECT_EQ(params.reserved, 0.0);
    EXPECT_EQ(params.extra_sensitivity, 1.5);
    EXPECT_TRUE(params.eliminate_geometry);
    EXPECT_EQ(gv.recogn_single, 1);
}

// A word where a number belongs is a failed read: the default stays and the
// whole load reports that not every key was read.
TEST_F(RecognizerSettings, UnreadableIntegerKeepsTheDefault) {
    write_ini("[recognizer]\n"
              "average_plate_width = 19\n"
              "extra_sensitivity = 0\n"
              "eliminate_geometry = yes\n"
              "recogn_single = 0\n");
    EXPECT_EQ(load_config(), 0);
    EXPECT_FALSE(gv.recognizer_params.eliminate_geometry);
    EXPECT_TRUE(syslog_capture::contains(
        "load_config: Can not get streams.ini/recognizer/eliminate_geometry. Use default."));
    EXPECT_TRUE(syslog_capture::contains("load_config: Eliminate geometry: false"));
    EXPECT_EQ(gv.recognizer_params.average_plate_width, 19.0);
}
