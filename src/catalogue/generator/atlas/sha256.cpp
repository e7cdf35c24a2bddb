#include "catalogue/generator/atlas/sha256.hpp"

#include <vector>

namespace kinetrope_tablegen {

namespace {

constexpr std::array<std::uint32_t, 64> round_constants{
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr std::array<std::uint32_t, 8> initial_state{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                                     0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

std::uint32_t rotate_right(std::uint32_t v, int bits) { return (v >> bits) | (v << (32 - bits)); }

void compress(std::array<std::uint32_t, 8>& state, const std::uint8_t* block) {
    std::array<std::uint32_t, 64> w{};
    for (int t = 0; t < 16; ++t)
        w[t] = std::uint32_t(block[4 * t]) << 24 | std::uint32_t(block[4 * t + 1]) << 16 |
               std::uint32_t(block[4 * t + 2]) << 8 | std::uint32_t(block[4 * t + 3]);
    for (int t = 16; t < 64; ++t) {
        const std::uint32_t s0 = rotate_right(w[t - 15], 7) ^ rotate_right(w[t - 15], 18) ^ (w[t - 15] >> 3);
        const std::uint32_t s1 = rotate_right(w[t - 2], 17) ^ rotate_right(w[t - 2], 19) ^ (w[t - 2] >> 10);
        w[t] = w[t - 16] + s0 + w[t - 7] + s1;
    }
    std::array<std::uint32_t, 8> v = state;
    for (int t = 0; t < 64; ++t) {
        const std::uint32_t e = v[4];
        const std::uint32_t a = v[0];
        const std::uint32_t choice = (e & v[5]) ^ (~e & v[6]);
        const std::uint32_t majority = (a & v[1]) ^ (a & v[2]) ^ (v[1] & v[2]);
        const std::uint32_t t1 = v[7] + (rotate_right(e, 6) ^ rotate_right(e, 11) ^ rotate_right(e, 25)) + choice +
                                 round_constants[t] + w[t];
        const std::uint32_t t2 = (rotate_right(a, 2) ^ rotate_right(a, 13) ^ rotate_right(a, 22)) + majority;
        v = {t1 + t2, v[0], v[1], v[2], v[3] + t1, v[4], v[5], v[6]};
    }
    for (int i = 0; i < 8; ++i) state[i] += v[i];
}

// The message, a 1 bit, zeros, and the bit length as 64 bits: whole blocks.
std::vector<std::uint8_t> padded(std::string_view message) {
    std::vector<std::uint8_t> bytes(message.begin(), message.end());
    const std::uint64_t bit_length = std::uint64_t(message.size()) * 8;
    bytes.push_back(0x80);
    while (bytes.size() % 64 != 56) bytes.push_back(0);
    for (int shift = 56; shift >= 0; shift -= 8) bytes.push_back(std::uint8_t(bit_length >> shift));
    return bytes;
}

}  // namespace

Sha256Digest sha256(std::string_view message) {
    std::array<std::uint32_t, 8> state = initial_state;
    const std::vector<std::uint8_t> bytes = padded(message);
    for (std::size_t offset = 0; offset < bytes.size(); offset += 64) compress(state, bytes.data() + offset);
    Sha256Digest digest{};
    for (int i = 0; i < 32; ++i) digest[i] = std::uint8_t(state[i / 4] >> (24 - 8 * (i % 4)));
    return digest;
}

}  // namespace kinetrope_tablegen
