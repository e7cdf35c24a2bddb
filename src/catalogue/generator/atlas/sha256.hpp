#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace kinetrope_tablegen {

using Sha256Digest = std::array<std::uint8_t, 32>;

// The SHA-256 digest of `message`: control points of the noise patterns are
// derived from digests, so the tables never depend on a random generator.
Sha256Digest sha256(std::string_view message);

}  // namespace kinetrope_tablegen
