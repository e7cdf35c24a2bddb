#pragma once

#include "kinetrope/export.hpp"

namespace kinetrope {

// One beat of musical time is 64 pips; pip 0 starts every pattern's cycle.
inline constexpr int PIPS_PER_BEAT = 64;

// The result of every sampler: an offset whose components lie in [-1, 1].
struct Offset3 {
    double x;
    double y;
    double z;
};

// A pattern: a pure, periodic function of a (possibly negative) pip.
using Sampler = Offset3 (*)(int pip);

// Non-negative modulo of `pip` into [0, period); 0 when `period` <= 0.
// Never overflows, whatever the inputs.
KINETROPE_API int wrap_pip(int pip, int period) noexcept;

}  // namespace kinetrope
