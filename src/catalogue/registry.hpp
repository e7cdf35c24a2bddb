#pragma once

#include <cstddef>
#include <span>

#include "kinetrope/pip.hpp"
#include "kinetrope/rudiment_info.hpp"

namespace kinetrope::detail {

// One table-backed built-in pattern: its catalogue row, then its sampler.
struct RegistryEntry {
    RudimentInfo info;
    Sampler sampler;
};

// Generated constant data: every table-backed pattern in collection order,
// and the registry positions sorted by name in ascending byte order.
extern const std::span<const RegistryEntry> registry;
extern const std::span<const std::size_t> sorted_name_index;

}  // namespace kinetrope::detail
