#pragma once

#include "kinetrope/export.hpp"
#include "kinetrope/pip.hpp"

// The eight dance moves, each computed from a closed formula.
namespace kinetrope {

KINETROPE_API Offset3 bounce(int pip);           // period 64, x only
KINETROPE_API Offset3 sway(int pip);             // period 128, x only
KINETROPE_API Offset3 circle(int pip);           // period 64, x and y
KINETROPE_API Offset3 figure_eight(int pip);     // period 128, x and y
KINETROPE_API Offset3 step_touch(int pip);       // period 128, x and y
KINETROPE_API Offset3 box_step(int pip);         // period 256, x and y
KINETROPE_API Offset3 helix(int pip);            // period 256, x, y and z
KINETROPE_API Offset3 loam_background(int pip);  // period 256, x and y

}  // namespace kinetrope
