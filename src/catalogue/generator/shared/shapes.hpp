#pragma once

#include <span>
#include <vector>

#include "kinetrope/pip.hpp"

// The shared building blocks from which every collection's tables are
// authored. They run only in the table generator, never at sampling time.
namespace kinetrope_tablegen {

using kinetrope::Offset3;
using Table = std::vector<Offset3>;

inline constexpr double pi = 3.141592653589793;

// theta = 2·pi·p / N, the phase of pip p in a loop of N pips.
double phase_angle(double pip, int period);

// 6u^5 - 15u^4 + 10u^3: zero slope and curvature at both ends.
double smootherstep(double u);

struct Keyframe {
    double pip;
    double value;
};

// One axis through keyframes (the first at pip 0, pips increasing); the last
// keyframe eases back to the first at pip `period`, so the loop closes.
std::vector<double> keyframe_track(int period, std::span<const Keyframe> keyframes);

struct Pulse {
    double onset;  // may fall between pips
    Offset3 vector;
    double half_width;
};

// Signed distance from `pip` to `onset` around the loop, in (-N/2, N/2].
double loop_distance(double pip, double onset, int period);

// cos²(pi·d / 2w) inside |d| < w, else 0.
double raised_cosine(double distance, double half_width);

// Every pulse adds its vector times its bump to every pip; bumps overlap.
Table pulse_score(int period, std::span<const Pulse> pulses);

// Scales every coordinate by one factor so the largest magnitude becomes `peak`.
void normalise_peak(Table& table, double peak);

// Steps i of an n-step grid with (i·k) mod n < k, in increasing order.
std::vector<int> euclidean_onsets(int k, int n);

// Assembles a table from per-axis tracks; a missing axis is all zero.
Table from_axes(int period, std::span<const double> x, std::span<const double> y = {}, std::span<const double> z = {});

// A table whose pip p holds shape(p, theta) with theta = phase_angle(p, period).
template <typename Shape>
Table from_formula(int period, Shape shape) {
    Table table(period);
    for (int p = 0; p < period; ++p) table[p] = shape(p, phase_angle(p, period));
    return table;
}

}  // namespace kinetrope_tablegen
