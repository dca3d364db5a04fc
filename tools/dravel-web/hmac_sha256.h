// HMAC-SHA256 for the page's form tokens, so that the board needs no
// cryptographic library for the one MAC it makes.
#pragma once

#include <string>

// The 32-byte digest of `message`.
std::string sha256(const std::string& message);

// The 32-byte HMAC of `message` under `key` (any length).
std::string hmac_sha256(const std::string& key, const std::string& message);

// `bytes` as lower-case hex digits.
std::string hex_text(const std::string& bytes);
