// A fresh folder for one test's files, below DRAVEL_TEST_TMP (which ctest
// sets) or /tmp. Header-only, so no test area needs a further library.
#pragma once

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <vector>

// The new folder's path, or "" when it cannot be made.
inline std::string make_scratch_dir(const std::string& prefix) {
    const char* base = getenv("DRAVEL_TEST_TMP");
    const std::string folder = base ? base : "/tmp";
    mkdir(folder.c_str(), 0755); // ctest names it; it may not exist yet
    const std::string pattern = folder + "/" + prefix + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    return mkdtemp(name.data()) != nullptr ? name.data() : "";
}
