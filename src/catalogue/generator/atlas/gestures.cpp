// Atlas gesture family: sixteen single-point gestures over eight beats. Paths
// that stop at their poses are keyframe paths; flowing ones are formulas of
// the loop's phase. All are peak-normalised; positive y is up, z toward the
// viewer. A row whose label names a direction moves that way.

#include <cmath>
#include <variant>

#include "catalogue/generator/atlas/families.hpp"
#include "catalogue/generator/atlas/family_shapes.hpp"

namespace kinetrope_tablegen::atlas {

namespace {

using Flow = Offset3 (*)(double theta);

double sq(double v) { return v * v; }
double half_cosine_rise(double t) { return (1.0 - std::cos(t)) / 2.0; }  // 0 at pip 0, 1 half-way

// A deep scoop below the centre, returned along a flat path above it.
Offset3 low_scoop(double t) { return {0.82 * std::cos(t), -0.35 * std::sin(t) - 0.3 * sq(std::sin(t)), 0.0}; }

// Back and forth along one high arch, the two passes slightly apart.
Offset3 high_arc(double t) { return {0.82 * std::sin(t), 0.75 * sq(std::cos(t)) - 0.1 * std::sin(2.0 * t), 0.0}; }

// Two sways side to side; the first passage through the middle ducks deeply.
Offset3 duck_sway(double t) {
    return {0.82 * std::sin(2.0 * t), -0.6 * sq(std::cos(2.0 * t)) * (1.0 + std::cos(t)) / 2.0, 0.0};
}

// An oval in the horizontal-depth plane, rising on one side, dipping on the other.
Offset3 reach_depth(double t) { return {0.6 * std::cos(t), -0.3 * std::sin(2.0 * t), 0.82 * std::sin(t)}; }

// A spiral that widens as it comes forward: depth runs 0 to 0.82 and back.
Offset3 spiral_reach(double t) {
    const double reach = half_cosine_rise(t);
    return {0.7 * reach * std::cos(3.0 * t), 0.7 * reach * std::sin(3.0 * t), 0.82 * reach};
}

// Each axis has its own keyframes, so a reach can rise while it travels:
// shared pips move in straight lines, offset pips bend the path.
struct Poses {
    std::vector<Keyframe> x, y, z = {};
};

struct GestureRow {
    const char* move;
    const char* label;
    int dimensions;
    std::variant<Poses, Flow> path;
};

const GestureRow gesture_rows[] = {
    {"side_reach", "side reach", 2,
     Poses{{{0, 0}, {96, 0.82}, {160, 0.82}, {256, 0}, {352, -0.82}, {416, -0.82}},
           {{0, 0}, {48, -0.3}, {128, -0.45}, {208, -0.1}, {256, 0}, {304, -0.3}, {384, -0.45}, {464, -0.1}}}},
    {"cross_reach", "cross and reach", 2,
     Poses{{{0, 0}, {96, -0.5}, {192, 0.82}, {288, 0}, {384, 0.5}, {448, -0.82}},
           {{0, 0}, {64, 0.35}, {160, -0.2}, {224, -0.6}, {320, 0}, {352, 0.35}, {416, -0.2}, {480, -0.6}}}},
    {"low_scoop", "low scoop", 2, low_scoop},
    {"high_arc", "high arc", 2, high_arc},
    {"corner_taps", "corner taps", 2,
     Poses{{{0, 0}, {48, 0.82}, {128, 0}, {176, -0.82}, {256, 0}, {304, -0.82}, {384, 0}, {432, 0.82}},
           {{0, 0}, {48, -0.82}, {128, 0}, {176, -0.82}, {256, 0}, {304, 0.82}, {384, 0}, {432, 0.82}}}},
    {"diagonal_touch", "diagonal touch", 2,
     Poses{{{0, 0}, {96, 0.82}, {160, 0.6}, {256, 0}, {352, -0.82}, {416, -0.6}},
           {{0, 0}, {112, -0.82}, {168, -0.6}, {272, 0}, {368, 0.82}, {424, 0.6}}}},
    {"box_return", "box and centre", 2,
     Poses{{{0, 0}, {64, -0.6}, {128, 0.6}, {192, 0.6}, {256, -0.6}, {320, -0.6}, {384, 0}},
           {{0, 0}, {64, -0.6}, {128, -0.6}, {192, 0.6}, {256, 0.6}, {320, -0.6}, {384, 0}}}},
    {"zigzag_lift", "zigzag lift", 2,
     Poses{{{0, -0.6}, {64, 0.6}, {128, -0.6}, {192, 0.6}, {256, -0.6}, {320, 0}, {416, 0.3}},
           {{0, -0.6}, {64, -0.3}, {128, 0}, {192, 0.3}, {256, 0.6}, {320, 0.82}, {416, 0}}}},
    {"duck_sway", "duck and sway", 2, duck_sway},
    {"push_pull", "push and pull", 3,
     Poses{{{0, 0}, {128, 0.12}, {256, 0}, {384, -0.1}},
           {{0, 0}, {96, -0.12}, {224, 0.05}, {352, 0.1}},
           {{0, 0}, {96, 0.82}, {160, 0.82}, {256, 0}, {352, -0.62}, {416, -0.62}}}},
    {"reach_depth", "reach through depth", 3, reach_depth},
    {"bow_turn", "bow and turn", 3,
     Poses{{{0, 0}, {256, 0}, {320, 0.82}, {384, 0}, {448, -0.82}},
           {{0, 0}, {96, -0.7}, {160, -0.7}, {256, 0}},
           {{0, 0}, {96, 0.5}, {160, 0.5}, {256, 0}, {288, -0.25}, {384, -0.6}, {480, -0.25}}}},
    {"heel_toe", "heel-toe abstract", 2,
     Poses{{{0, -0.5}, {96, -0.2}, {192, 0.3}, {256, 0.5}, {352, 0.2}, {448, -0.3}},
           {{0, 0}, {48, 0.6}, {96, 0}, {144, -0.7}, {192, 0}, {256, 0}, {304, 0.6}, {352, 0}, {400, -0.7}, {448, 0}}}},
    {"hop_answer", "hop and answer", 2,
     Poses{{{0, 0}, {64, 0.6}, {128, 0.6}, {192, 0}, {256, -0.6}, {320, -0.6}, {384, 0}},
           {{0, 0}, {32, 0.82}, {64, 0}, {192, 0}, {224, 0.5}, {256, 0}}}},
    {"spiral_reach", "spiral reach", 3, spiral_reach},
    {"diamond_depth", "depth diamond", 3,
     Poses{{{0, 0.82}, {64, 0}, {128, -0.82}, {192, 0}, {256, 0}, {320, 0}, {384, 0}, {448, 0}},
           {{0, 0}, {64, 0}, {128, 0}, {192, 0}, {256, -0.82}, {320, 0}, {384, 0.82}, {448, 0}},
           {{0, 0}, {64, 0.82}, {128, 0}, {192, -0.82}, {256, 0}, {320, 0.82}, {384, 0}, {448, -0.82}}}},
};

Table gesture_table(const GestureRow& row) {
    if (const Poses* poses = std::get_if<Poses>(&row.path))
        return normalised(keyframe_table(eight_beats, poses->x, poses->y, poses->z));
    const Flow flow = std::get<Flow>(row.path);
    return normalised_formula(eight_beats, [flow](int, double t) { return flow(t); });
}

}  // namespace

void add_gestures(Rows& rows) {
    for (const GestureRow& row : gesture_rows)
        rows.push_back(make_pattern(joined("gesture_", row.move), eight_beats, row.dimensions,
                                    "An original single-point " + std::string(row.label) +
                                        " gesture. Abstract motion, not a full-body dance or biomechanical recording.",
                                    gesture_table(row)));
}

}  // namespace kinetrope_tablegen::atlas
