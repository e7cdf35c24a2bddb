#pragma once

#include <span>

#include "kinetrope/pip.hpp"

namespace kinetrope::detail {

// One drum stroke of a rudiment's table.
struct Stroke {
    int onset_pip;
    int hand;  // +1 right, -1 left: the sign of the stroke's x motion
    double strength;
    int duration_pips;
};

// Sums the sin-squared envelopes of the strokes sounding at `pip`. Time is
// cyclic, so a stroke running past the period continues at its start.
Offset3 stroke_envelope(int pip, int period, std::span<const Stroke> strokes);

}  // namespace kinetrope::detail
