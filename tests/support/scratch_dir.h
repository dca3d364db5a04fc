// Kept for the areas not yet moved onto the test kit (tests/common/files.h).
// A folder of its own for each test program below $DRAVEL_TEST_TMP (or
// /tmp), and whole-file helpers for tests that write and read back files.
#pragma once

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>

inline std::string scratch_dir(const std::string& name) {
    const char* base = getenv("DRAVEL_TEST_TMP");
    const std::string root = base != nullptr && base[0] != '\0' ? base : "/tmp";
    mkdir(root.c_str(), 0700);
    mkdir((root + "/" + name).c_str(), 0700);
    return root + "/" + name;
}

inline void write_text_file(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

inline std::string read_text_file(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}
