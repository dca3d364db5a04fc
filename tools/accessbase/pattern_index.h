// The patterns of a base in file order, for telling at once whether a new
// pattern repeats an earlier one or can never be the first match. Each
// question costs the same whatever the size of the base, so importing
// thousands of entries stays linear.
#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <unordered_map>

struct PatternIndex {
    std::unordered_map<std::string, size_t> positions; // pattern: its first position
    // The shapes of the wildcard patterns: '?' where they hold one, '.'
    // elsewhere. Only a wildcard pattern can cover another one.
    std::set<std::string> shapes;
};

void index_pattern(PatternIndex* index, const std::string& pattern, size_t position);

// The position of an earlier pattern equal to `pattern`; -1 when none.
long repeated_pattern(const PatternIndex& index, const std::string& pattern);

// The position of an earlier wildcard pattern that matches every number
// `pattern` matches, so that the service always stops there first; -1 when
// none. `covering` receives that pattern.
long covering_pattern(const PatternIndex& index, const std::string& pattern, std::string* covering);
