// Atlas mech family: sixteen kinematic-style traces over eight beats. Nine
// rows are closed formulas; the other seven are linkage geometries whose raw
// trace is fitted to the row's ranges (x always over the full ±0.82).

#include <cmath>
#include <optional>

#include "catalogue/generator/atlas/families.hpp"
#include "catalogue/generator/atlas/family_shapes.hpp"

namespace kinetrope_tablegen::atlas {

namespace {

using Trace = Offset3 (*)(int p, double theta);

double sq(double v) { return v * v; }

Offset3 piston_short(int, double t) {
    return {0.82 * (std::cos(t) + std::sqrt(4.0 - sq(std::sin(t))) - 2.0), 0.246 * std::sin(t), 0.0};
}
Offset3 piston_long(int, double t) {
    return {0.82 * (std::cos(t) + std::sqrt(16.0 - sq(std::sin(t))) - 4.0), 0.205 * std::sin(2.0 * t), 0.0};
}
Offset3 scotch_yoke(int, double t) {
    return {0.82 * std::cos(t), 0.287 * std::sin(t) + 0.1476 * std::sin(3.0 * t), 0.0};
}
Offset3 two_lobe_cam(int, double t) { return {0.3 * std::sin(t), 0.2 * std::cos(t) + 0.55 * std::cos(2.0 * t), 0.0}; }
Offset3 three_lobe_cam(int, double t) {
    return {0.125 * std::sin(t), 0.1 * std::cos(t) + 0.5 * std::cos(3.0 * t), 0.0};
}
Offset3 paddle(int, double t) {
    return {std::cos(t) + 0.23 * std::cos(4.0 * t), std::sin(t) + 0.23 * std::sin(4.0 * t), 0.0};
}
Offset3 wobble_plate(int, double t) {
    return {0.82 * std::cos(t), 0.287 * std::sin(t), 0.41 * std::sin(2.0 * t + 0.3)};
}
Offset3 coupled_cranks(int, double t) {
    return {std::cos(t) + 0.35 * std::cos(3.0 * t + 0.6), std::sin(t) - 0.35 * std::sin(3.0 * t + 0.6), 0.0};
}
Offset3 piston_balance(int, double t) { return {0.82 * std::cos(t), 0.41 * std::sin(2.0 * t), 0.205 * std::sin(t)}; }

// Slider-crank whose slider line sits 0.8 crank radii off the crank centre,
// so the stroke out and back take unequal times.
Offset3 offset_crank(int, double t) {
    const double offset = 0.8, rod = 3.2;
    return {std::cos(t) + std::sqrt(sq(rod) - sq(std::sin(t) - offset)), std::sin(t), 0.0};
}

// Crank-driven slotted lever: the lever swings out slowly and back quickly;
// its tip draws a shallow arc while the pin slides along the slot.
Offset3 whitworth(int, double t) {
    const double crank = 1.0, pivot_distance = 1.7;
    const double pin_x = crank * std::sin(t), pin_y = pivot_distance + crank * std::cos(t);
    const double lever = std::atan2(pin_x, pin_y);
    return {std::sin(lever), std::cos(lever) + 0.25 * std::hypot(pin_x, pin_y), 0.0};
}

// Flat follower on an ellipse turning about a pivot off its centre: the
// contact point is the cam's support distance h and its derivative along the
// follower face, and the two lifts per turn differ in height.
Offset3 elliptic_cam(int, double t) {
    const double a = 1.0, b = 0.6, pivot_offset = 0.25;
    const double h = std::sqrt(sq(a * std::cos(t)) + sq(b * std::sin(t)));
    return {h + pivot_offset * std::cos(t),
            (sq(b) - sq(a)) * std::sin(t) * std::cos(t) / h - pivot_offset * std::sin(t), 0.0};
}

// Anchor rocking between two soft stops four times a loop; each release gives
// a small rise and recoil of the escape-wheel tooth.
Offset3 escapement(int, double t) {
    const double swing = std::tanh(3.0 * std::sin(2.0 * t));
    return {swing, (1.0 - sq(swing)) * std::cos(2.0 * t) + 0.25 * std::sin(4.0 * t), 0.0};
}

// A beam rocking on its pivot: the tip swings wide while its height, 1 - cos
// of the tilt, grows the same way on both sides.
Offset3 rocking_beam(int, double t) {
    const double tilt = 0.9 * std::sin(t) + 0.12 * std::sin(2.0 * t);
    return {std::sin(tilt), 1.0 - std::cos(tilt) - 0.04 * std::cos(t), 0.0};
}

// Four-bar crank-rocker (crank 1, coupler 3, rocker 2.5, ground 3): the
// coupler's midpoint, lifted off the bar, with the rocker angle as depth.
Offset3 crank_rocker(int, double t) {
    const double coupler = 3.0, rocker = 2.5, ground = 3.0;
    const double bx = std::cos(t), by = std::sin(t);
    const double dx = ground - bx, dy = -by, reach = std::hypot(dx, dy);
    const double along = (sq(coupler) - sq(rocker) + sq(reach)) / (2.0 * reach);
    const double across = std::sqrt(sq(coupler) - sq(along));
    const double cx = bx + (along * dx - across * dy) / reach, cy = by + (along * dy + across * dx) / reach;
    const double mid_x = (bx + cx) / 2.0, mid_y = (by + cy) / 2.0;
    const double lift = 0.8 / coupler;
    return {mid_x - lift * (cy - by), mid_y + lift * (cx - bx), std::atan2(cy, cx - ground)};
}

// Dwell, rise, dwell, slower return: the follower of a cam with flats.
Offset3 cam_return(int p, double t) {
    static const std::vector<double> rise =
        keyframe_track(eight_beats, std::vector<Keyframe>{{0, -1}, {64, -1}, {192, 1}, {288, 1}, {480, -1}});
    return {rise[p], std::sin(t) + 0.3 * std::sin(2.0 * t), 0.0};
}

struct Range {
    double low, high;
};

struct MechanismRow {
    const char* linkage;
    const char* label;
    int dimensions;
    Trace trace;
    // Authored rows fit x to the full ±0.82 and y, z to these ranges.
    std::optional<Range> y_range = std::nullopt, z_range = std::nullopt;
};

const MechanismRow mechanism_rows[] = {
    {"piston_short", "Short-rod piston", 2, piston_short},
    {"piston_long", "Long-rod piston", 2, piston_long},
    {"offset_crank", "Offset crank", 2, offset_crank, Range{-0.3, 0.3}},
    {"scotch_yoke", "Yoke with rocking linkage", 2, scotch_yoke},
    {"whitworth", "Quick-return linkage study", 2, whitworth, Range{-0.25, 0.25}},
    {"elliptic_cam", "Elliptic cam follower", 2, elliptic_cam, Range{-0.36, 0.36}},
    {"two_lobe_cam", "Two-lobe cam follower", 2, two_lobe_cam},
    {"three_lobe_cam", "Three-lobe cam follower", 2, three_lobe_cam},
    {"escapement", "Soft escapement study", 2, escapement, Range{-0.3, 0.3}},
    {"paddle", "Paddle-wheel tip", 2, paddle},
    {"wobble_plate", "Wobble-plate trace", 3, wobble_plate},
    {"rocking_beam", "Rocking beam", 2, rocking_beam, Range{-0.02, 0.42}},
    {"coupled_cranks", "Coupled cranks", 2, coupled_cranks},
    {"crank_rocker", "Crank and rocker study", 3, crank_rocker, Range{-0.45, 0.45}, Range{-0.12, 0.12}},
    {"piston_balance", "Piston and balance mass", 3, piston_balance},
    {"cam_return", "Cam rise and return", 2, cam_return, Range{-0.28, 0.28}},
};

Table mechanism_table(const MechanismRow& row) {
    Table table = from_formula(eight_beats, [&row](int p, double t) { return row.trace(p, t); });
    if (row.y_range) {
        fit_axis(table, &Offset3::x, -peak, peak);
        fit_axis(table, &Offset3::y, row.y_range->low, row.y_range->high);
    }
    if (row.z_range) fit_axis(table, &Offset3::z, row.z_range->low, row.z_range->high);
    return normalised(std::move(table));
}

}  // namespace

void add_mechanisms(Rows& rows) {
    for (const MechanismRow& row : mechanism_rows)
        rows.push_back(make_pattern(
            joined("mech_", row.linkage), eight_beats, row.dimensions,
            joined(row.label, "; an original kinematic-style position study, not an engineering simulation."),
            mechanism_table(row)));
}

}  // namespace kinetrope_tablegen::atlas
