#pragma once

#include "kinetrope/export.hpp"
#include "kinetrope/pip.hpp"

// The seven drum rudiments, rendered as stroke envelopes: a stroke swings
// x towards its hand (right +, left -) and pushes y down.
namespace kinetrope {

KINETROPE_API Offset3 single_stroke_roll(int pip);    // period 64
KINETROPE_API Offset3 double_stroke_roll(int pip);    // period 64
KINETROPE_API Offset3 multiple_bounce_roll(int pip);  // period 64
KINETROPE_API Offset3 single_paradiddle(int pip);     // period 128
KINETROPE_API Offset3 flam(int pip);                  // period 64
KINETROPE_API Offset3 drag(int pip);                  // period 64
KINETROPE_API Offset3 five_stroke_roll(int pip);      // period 128

}  // namespace kinetrope
