// Text as the access base stores it (CP1251) and as people write it (UTF-8).
#pragma once

#include <cstddef>
#include <string>

// Converts `utf8` to CP1251 for storing. Unlike the service's converter,
// which turns anything it cannot store into "?", this refuses malformed
// UTF-8, characters without a CP1251 form and control characters: an
// operator's text must never change silently. 0, or -1 with `error` set.
int utf8_to_cp1251_checked(const std::string& utf8, std::string* cp1251, std::string* error);

// The CP1251 text of a fixed-size field (terminated or not) in UTF-8.
std::string cp1251_field_to_utf8(const char* field, size_t size);
