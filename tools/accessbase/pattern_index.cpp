#include "tools/accessbase/pattern_index.h"

// A pattern P matches the numbers of length k to n, where n is its length
// and k the length up to its last character that is not '?'; at each place
// below the number's length, a '?' of P takes any character and another
// character only itself. So P covers Q when P is at least as long as Q,
// holds only '?' beyond Q's length, and each of Q's places holds in P a '?'
// or the same character; then P's last literal comes no later than Q's.
// Such a P is Q with some places turned into '?' and '?'s added: one
// candidate per wildcard shape in the base.

namespace {

std::string shape_of(const std::string& pattern) {
    std::string shape = pattern;
    for (char& c : shape)
        c = c == '?' ? '?' : '.';
    return shape;
}

// The pattern of `shape` that would cover `pattern`; "" when that shape
// cannot cover it.
std::string candidate(const std::string& shape, const std::string& pattern) {
    if (shape.size() < pattern.size())
        return "";
    std::string made(shape.size(), '?');
    for (size_t i = 0; i < shape.size(); ++i) {
        if (i >= pattern.size()) {
            if (shape[i] != '?')
                return "";
        } else if (shape[i] == '.') {
            if (pattern[i] == '?')
                return "";
            made[i] = pattern[i];
        }
    }
    return made;
}

} // namespace

void index_pattern(PatternIndex* index, const std::string& pattern, size_t position) {
    index->positions.emplace(pattern, position);
    if (pattern.find('?') != std::string::npos)
        index->shapes.insert(shape_of(pattern));
}

long repeated_pattern(const PatternIndex& index, const std::string& pattern) {
    const auto found = index.positions.find(pattern);
    return found == index.positions.end() ? -1 : static_cast<long>(found->second);
}

long covering_pattern(const PatternIndex& index, const std::string& pattern,
                      std::string* covering) {
    long earliest = -1;
    for (const std::string& shape : index.shapes) {
        const std::string made = candidate(shape, pattern);
        const long position = made.empty() ? -1 : repeated_pattern(index, made);
        if (position >= 0 && (earliest < 0 || position < earliest)) {
            earliest = position;
            *covering = made;
        }
    }
    return earliest;
}
