// A fresh folder per test below $DRAVEL_TEST_TMP (or /tmp), and small file
// helpers for tests that write and read back files.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <ftw.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

inline std::string make_scratch_dir() {
    const char* base = getenv("DRAVEL_TEST_TMP");
    std::string root = base != nullptr && base[0] != '\0' ? base : "/tmp";
    mkdir(root.c_str(), 0700);
    std::string pattern = root + "/scratch-XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr)
        ADD_FAILURE() << "cannot make a folder below " << root;
    return pattern;
}

inline void write_text_file(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    ASSERT_TRUE(out.good()) << path;
}

inline std::string read_text_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline bool path_exists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

// Removes the folder and everything below it.
inline void remove_scratch_dir(const std::string& dir) {
    nftw(
        dir.c_str(),
        [](const char* path, const struct stat*, int, struct FTW*) { return remove(path); }, 16,
        FTW_DEPTH | FTW_PHYS);
}
