#include "kinetrope/rudiments.hpp"

#include <array>

#include "core/stroke_envelope.hpp"

namespace kinetrope {
namespace {

using detail::Stroke;
using detail::stroke_envelope;

constexpr int R = +1;
constexpr int L = -1;

constexpr std::array<Stroke, 8> single_stroke_roll_strokes{{
    {0, R, 0.92, 8},
    {8, L, 0.92, 8},
    {16, R, 0.92, 8},
    {24, L, 0.92, 8},
    {32, R, 0.92, 8},
    {40, L, 0.92, 8},
    {48, R, 0.92, 8},
    {56, L, 0.92, 8},
}};

constexpr std::array<Stroke, 8> double_stroke_roll_strokes{{
    {0, R, 0.88, 8},
    {8, R, 0.72, 8},
    {16, L, 0.88, 8},
    {24, L, 0.72, 8},
    {32, R, 0.88, 8},
    {40, R, 0.72, 8},
    {48, L, 0.88, 8},
    {56, L, 0.72, 8},
}};

constexpr std::array<Stroke, 8> multiple_bounce_roll_strokes{{
    {0, R, 0.92, 6},
    {6, R, 0.68, 6},
    {12, R, 0.48, 6},
    {18, R, 0.32, 6},
    {32, L, 0.92, 6},
    {38, L, 0.68, 6},
    {44, L, 0.48, 6},
    {50, L, 0.32, 6},
}};

constexpr std::array<Stroke, 16> single_paradiddle_strokes{{
    {0, R, 1.0, 8},
    {8, L, 0.72, 8},
    {16, R, 0.72, 8},
    {24, R, 0.72, 8},
    {32, L, 1.0, 8},
    {40, R, 0.72, 8},
    {48, L, 0.72, 8},
    {56, L, 0.72, 8},
    {64, R, 1.0, 8},
    {72, L, 0.72, 8},
    {80, R, 0.72, 8},
    {88, R, 0.72, 8},
    {96, L, 1.0, 8},
    {104, R, 0.72, 8},
    {112, L, 0.72, 8},
    {120, L, 0.72, 8},
}};

constexpr std::array<Stroke, 4> flam_strokes{{
    {0, L, 0.34, 10},
    {5, R, 0.9, 14},
    {32, R, 0.34, 10},
    {37, L, 0.9, 14},
}};

constexpr std::array<Stroke, 6> drag_strokes{{
    {0, L, 0.28, 8},
    {5, L, 0.32, 8},
    {10, R, 0.88, 14},
    {32, R, 0.28, 8},
    {37, R, 0.32, 8},
    {42, L, 0.88, 14},
}};

constexpr std::array<Stroke, 10> five_stroke_roll_strokes{{
    {0, R, 0.72, 9},
    {8, R, 0.62, 9},
    {16, L, 0.72, 9},
    {24, L, 0.62, 9},
    {36, R, 1.0, 14},
    {64, L, 0.72, 9},
    {72, L, 0.62, 9},
    {80, R, 0.72, 9},
    {88, R, 0.62, 9},
    {100, L, 1.0, 14},
}};

}  // namespace

Offset3 single_stroke_roll(int pip) { return stroke_envelope(pip, 64, single_stroke_roll_strokes); }
Offset3 double_stroke_roll(int pip) { return stroke_envelope(pip, 64, double_stroke_roll_strokes); }
Offset3 multiple_bounce_roll(int pip) { return stroke_envelope(pip, 64, multiple_bounce_roll_strokes); }
Offset3 single_paradiddle(int pip) { return stroke_envelope(pip, 128, single_paradiddle_strokes); }
Offset3 flam(int pip) { return stroke_envelope(pip, 64, flam_strokes); }
Offset3 drag(int pip) { return stroke_envelope(pip, 64, drag_strokes); }
Offset3 five_stroke_roll(int pip) { return stroke_envelope(pip, 128, five_stroke_roll_strokes); }

}  // namespace kinetrope
