#include "core/formula_patterns.hpp"

#include "kinetrope/moves.hpp"
#include "kinetrope/rudiments.hpp"

namespace kinetrope::detail {

const std::array<FormulaPattern, 15> formula_patterns{{
    {{"bounce", "One-beat vertical bounce", 64, 1}, bounce},
    {{"sway", "Two-beat side-to-side sway", 128, 1}, sway},
    {{"circle", "One-beat circular orbit", 64, 2}, circle},
    {{"figure_eight", "Two-beat figure eight", 128, 2}, figure_eight},
    {{"step_touch", "Two-beat side step with a small lift", 128, 2}, step_touch},
    {{"box_step", "Four-beat softened square path", 256, 2}, box_step},
    {{"helix", "Four-beat double-turn helix", 256, 3}, helix},
    {{"loam_background", "Loam/Motes four-beat accented background drift", 256, 2}, loam_background},
    {{"single_stroke_roll", "Alternating R/L strokes with smooth attack and decay", 64, 2}, single_stroke_roll},
    {{"double_stroke_roll", "RRLL strokes with a softer second motion", 64, 2}, double_stroke_roll},
    {{"multiple_bounce_roll", "Decaying same-hand bounce clusters", 64, 2}, multiple_bounce_roll},
    {{"single_paradiddle", "RLRR LRLL with accented lead strokes", 128, 2}, single_paradiddle},
    {{"flam", "Grace motion flowing into an opposite-hand primary motion", 64, 2}, flam},
    {{"drag", "Two grace motions flowing into an opposite-hand primary motion", 64, 2}, drag},
    {{"five_stroke_roll", "Two diddles resolving to an accented fifth motion", 128, 2}, five_stroke_roll},
}};

}  // namespace kinetrope::detail
