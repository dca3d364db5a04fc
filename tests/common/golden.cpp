#include "tests/common/golden.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool read_whole(const std::string& path, std::string* text) {
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr)
        return false;
    char chunk[4096];
    for (size_t got; (got = fread(chunk, 1, sizeof chunk, file)) > 0;)
        text->append(chunk, got);
    const bool whole = ferror(file) == 0;
    fclose(file);
    return whole;
}

bool write_whole(const std::string& path, const std::string& text) {
    FILE* file = fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    const bool written = fwrite(text.data(), 1, text.size(), file) == text.size();
    return fclose(file) == 0 && written;
}

// The line of `text` that begins at `at`, or a mark of its end.
std::string line_at(const std::string& text, size_t at) {
    if (at >= text.size())
        return "<end of text>";
    const size_t end = text.find('\n', at);
    return text.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

} // namespace

::testing::AssertionResult matches_golden(const std::string& name, const std::string& produced) {
    const std::string path = std::string(DRAVEL_TESTS_SOURCE_DIR) + "/" + name;
    const char* rebuild = getenv("DRAVEL_GOLDEN_REBUILD");
    if (rebuild != nullptr && strcmp(rebuild, "1") == 0) {
        if (!write_whole(path, produced))
            return ::testing::AssertionFailure() << "cannot write " << path;
        return ::testing::AssertionSuccess();
    }
    std::string expected;
    if (!read_whole(path, &expected))
        return ::testing::AssertionFailure()
               << "cannot read " << path << "; DRAVEL_GOLDEN_REBUILD=1 writes it";
    if (expected == produced)
        return ::testing::AssertionSuccess();
    size_t at = 0;
    int line = 1;
    for (size_t i = 0; i < expected.size() && i < produced.size() && expected[i] == produced[i];
         ++i) {
        if (expected[i] == '\n') {
            at = i + 1;
            ++line;
        }
    }
    return ::testing::AssertionFailure()
           << name << " differs from the output at line " << line
           << ":\n  expected: " << line_at(expected, at)
           << "\n  produced: " << line_at(produced, at)
           << "\nDRAVEL_GOLDEN_REBUILD=1 writes the output as the new expectation";
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = 0; !from.empty() && (at = text.find(from, at)) != std::string::npos;
         at += to.size())
        text.replace(at, from.size(), to);
    return text;
}
