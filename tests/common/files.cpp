#include "tests/common/files.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <ftw.h>
#include <sstream>
#include <sys/stat.h>

std::string scratch_dir(const std::string& name) {
    const char* base = getenv("DRAVEL_TEST_TMP");
    const std::string root = base != nullptr && base[0] != '\0' ? base : "/tmp";
    mkdir(root.c_str(), 0700);
    mkdir((root + "/" + name).c_str(), 0700);
    return root + "/" + name;
}

std::string empty_scratch_dir(const std::string& name) {
    const std::string root = scratch_dir(name);
    remove_tree(root);
    mkdir(root.c_str(), 0700);
    return root;
}

void remove_tree(const std::string& path) {
    nftw(
        path.c_str(),
        [](const char* name, const struct stat*, int, FTW*) { return remove(name), 0; }, 16,
        FTW_DEPTH | FTW_PHYS);
}

void write_text_file(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string read_text_file(const std::string& path) {
    std::ostringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}

std::vector<std::string> read_lines(const std::string& path) {
    const std::string text = read_text_file(path);
    std::vector<std::string> lines;
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
         start = end + 1)
        lines.push_back(text.substr(start, end + 1 - start));
    return lines;
}

bool exists(const std::string& path) {
    struct stat status;
    return lstat(path.c_str(), &status) == 0;
}
