#pragma once

#include <array>

#include "kinetrope/pip.hpp"
#include "kinetrope/rudiment_info.hpp"

namespace kinetrope::detail {

// A pattern computed by a named function rather than read from a table.
struct FormulaPattern {
    RudimentInfo info;
    Sampler sampler;
};

// The fifteen formula patterns in their fixed order: the eight moves, then
// the seven rudiments. Bindings and listings follow this order.
extern const std::array<FormulaPattern, 15> formula_patterns;

}  // namespace kinetrope::detail
