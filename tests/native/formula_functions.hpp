#pragma once

// The fifteen exported formula functions by name, for native test and
// benchmark programs; taking their addresses proves each symbol links.
#include <array>
#include <kinetrope/kinetrope.hpp>
#include <string_view>
#include <utility>

inline constexpr std::array<std::pair<std::string_view, kinetrope::Sampler>, 15> formula_functions{{
    {"bounce", kinetrope::bounce},
    {"sway", kinetrope::sway},
    {"circle", kinetrope::circle},
    {"figure_eight", kinetrope::figure_eight},
    {"step_touch", kinetrope::step_touch},
    {"box_step", kinetrope::box_step},
    {"helix", kinetrope::helix},
    {"loam_background", kinetrope::loam_background},
    {"single_stroke_roll", kinetrope::single_stroke_roll},
    {"double_stroke_roll", kinetrope::double_stroke_roll},
    {"multiple_bounce_roll", kinetrope::multiple_bounce_roll},
    {"single_paradiddle", kinetrope::single_paradiddle},
    {"flam", kinetrope::flam},
    {"drag", kinetrope::drag},
    {"five_stroke_roll", kinetrope::five_stroke_roll},
}};
