#include "tests/common/golden.h"

#include <cstdlib>
#include <cstring>

#include "tests/common/files.h"

namespace {

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
        write_text_file(path, produced);
        if (read_text_file(path) != produced)
            return ::testing::AssertionFailure() << "cannot write " << path;
        return ::testing::AssertionSuccess();
    }
    const std::string expected = read_text_file(path);
    if (!exists(path))
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
