#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "kinetrope/pip.hpp"
#include "kinetrope/rudiment_info.hpp"

namespace kinetrope::detail {

// One table-backed built-in pattern: its catalogue row, then its sampler.
struct RegistryEntry {
    RudimentInfo info;
    Sampler sampler;
};

// A name of at most 32 bytes as four big-endian words, zero-padded: comparing
// keys word by word as unsigned integers is the byte order of the names (a
// shorter name sorts first, as no name holds a zero byte).
using NameKey = std::array<std::uint64_t, 4>;
inline constexpr std::size_t name_key_bytes = 32;

constexpr NameKey name_key(std::string_view name) {
    NameKey key{};
    for (std::size_t i = 0; i < name.size() && i < name_key_bytes; ++i)
        key[i / 8] |= std::uint64_t(static_cast<unsigned char>(name[i])) << (56 - 8 * (i % 8));
    return key;
}

// Generated constant data: every table-backed pattern in collection order,
// the registry positions sorted by name in ascending byte order, and the key
// of each name in that sorted order, so the search reads one contiguous array.
extern const std::span<const RegistryEntry> registry;
extern const std::span<const std::size_t> sorted_name_index;
extern const std::span<const NameKey> sorted_name_keys;

}  // namespace kinetrope::detail
