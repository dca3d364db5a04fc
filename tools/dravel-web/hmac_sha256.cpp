#include "tools/dravel-web/hmac_sha256.h"

#include <cstdint>

namespace {

const uint32_t ROUND_CONSTANTS[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr size_t BLOCK = 64;

uint32_t rotated(uint32_t x, int n) {
    return (x >> n) | (x << (32 - n));
}

void compress(uint32_t state[8], const unsigned char* block) {
    uint32_t w[64];
    for (int i = 0; i < 16; ++i)
        w[i] = static_cast<uint32_t>(block[4 * i]) << 24 |
               static_cast<uint32_t>(block[4 * i + 1]) << 16 |
               static_cast<uint32_t>(block[4 * i + 2]) << 8 | block[4 * i + 3];
    for (int i = 16; i < 64; ++i) {
        const uint32_t s0 = rotated(w[i - 15], 7) ^ rotated(w[i - 15], 18) ^ (w[i - 15] >> 3);
        const uint32_t s1 = rotated(w[i - 2], 17) ^ rotated(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t v[8];
    for (int i = 0; i < 8; ++i)
        v[i] = state[i];
    for (int i = 0; i < 64; ++i) {
        const uint32_t s1 = rotated(v[4], 6) ^ rotated(v[4], 11) ^ rotated(v[4], 25);
        const uint32_t choice = (v[4] & v[5]) ^ (~v[4] & v[6]);
        const uint32_t t1 = v[7] + s1 + choice + ROUND_CONSTANTS[i] + w[i];
        const uint32_t s0 = rotated(v[0], 2) ^ rotated(v[0], 13) ^ rotated(v[0], 22);
        const uint32_t majority = (v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]);
        for (int j = 7; j > 0; --j)
            v[j] = v[j - 1];
        v[4] += t1;
        v[0] = t1 + s0 + majority;
    }
    for (int i = 0; i < 8; ++i)
        state[i] += v[i];
}

} // namespace

std::string sha256(const std::string& message) {
    uint32_t state[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                         0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    // The message, a 1 bit, zeros, and its length in bits, to whole blocks.
    std::string padded = message + '\x80';
    padded.append((BLOCK + 56 - padded.size() % BLOCK) % BLOCK, '\0');
    const uint64_t bits = static_cast<uint64_t>(message.size()) * 8;
    for (int shift = 56; shift >= 0; shift -= 8)
        padded.push_back(static_cast<char>(bits >> shift));
    for (size_t at = 0; at < padded.size(); at += BLOCK)
        compress(state, reinterpret_cast<const unsigned char*>(padded.data() + at));
    std::string digest;
    for (const uint32_t word : state) {
        for (int shift = 24; shift >= 0; shift -= 8)
            digest.push_back(static_cast<char>(word >> shift));
    }
    return digest;
}

std::string hmac_sha256(const std::string& key, const std::string& message) {
    std::string block = key.size() > BLOCK ? sha256(key) : key;
    block.resize(BLOCK, '\0');
    std::string inner(BLOCK, '\0'), outer(BLOCK, '\0');
    for (size_t i = 0; i < BLOCK; ++i) {
        inner[i] = static_cast<char>(block[i] ^ 0x36);
        outer[i] = static_cast<char>(block[i] ^ 0x5c);
    }
    return sha256(outer + sha256(inner + message));
}

std::string hex_text(const std::string& bytes) {
    static const char DIGITS[] = "0123456789abcdef";
    std::string hex;
    for (const char c : bytes) {
        hex += DIGITS[static_cast<unsigned char>(c) >> 4];
        hex += DIGITS[static_cast<unsigned char>(c) & 15];
    }
    return hex;
}
