// Continuum families that travel through authored points with eased timing:
// splines, vertex tours, scans, reaches, dwell phrases and packets.

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "catalogue/generator/shared/authoring.hpp"
#include "catalogue/generator/continuum/families.hpp"
#include "catalogue/generator/continuum/fit.hpp"

namespace kinetrope_tablegen::continuum {

namespace {

constexpr int eight_beats = 512;
constexpr int sixteen_beats = 1024;
constexpr double peak = 0.82;

std::string two_digits(int n) { return (n < 10 ? "0" : "") + std::to_string(n); }

Offset3 operator+(Offset3 a, Offset3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Offset3 operator-(Offset3 a, Offset3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Offset3 operator*(double k, Offset3 a) { return {k * a.x, k * a.y, k * a.z}; }

// Cubic Hermite segment from p0 (tangent m0) to p1 (tangent m1) over a span
// of `span` time units, at fraction s.
Offset3 hermite(Offset3 p0, Offset3 m0, Offset3 p1, Offset3 m1, double span, double s) {
    const double s2 = s * s, s3 = s2 * s;
    return (2 * s3 - 3 * s2 + 1) * p0 + (span * (s3 - 2 * s2 + s)) * m0 + (-2 * s3 + 3 * s2) * p1 +
           (span * (s3 - s2)) * m1;
}

// The cumulative start times of segments of the given relative durations,
// stretched over `total`; one more entry holds the total itself.
std::vector<double> segment_starts(const std::vector<double>& durations, double total) {
    double sum = 0.0;
    for (double d : durations) sum += d;
    std::vector<double> starts{0.0};
    for (double d : durations) starts.push_back(starts.back() + total * d / sum);
    starts.back() = total;
    return starts;
}

std::size_t segment_at(const std::vector<double>& starts, double time) {
    std::size_t i = 0;
    while (i + 2 < starts.size() && starts[i + 1] <= time) ++i;
    return i;
}

// ---- splines ----

struct SplineRow {
    const char* name;
    std::vector<Offset3> controls;
    std::vector<double> durations;  // relative time from each control to the next
};

// A periodic cubic through the controls: each tangent is the chord of its
// neighbours over their time apart, so the curve is smooth across the loop.
RawPath spline_path(const SplineRow& row) {
    const std::vector<double> starts = segment_starts(row.durations, eight_beats);
    const std::size_t n = row.controls.size();
    std::vector<Offset3> tangents(n);
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t before = (i + n - 1) % n, after = (i + 1) % n;
        const double time_before = i == 0 ? starts[n - 1] - eight_beats : starts[before];
        const double time_after = starts[i + 1];
        tangents[i] = (1.0 / (time_after - time_before)) * (row.controls[after] - row.controls[before]);
    }
    return [=](double pip) {
        const std::size_t i = segment_at(starts, pip);
        const double span = starts[i + 1] - starts[i];
        const std::size_t next = (i + 1) % n;
        return hermite(row.controls[i], tangents[i], row.controls[next], tangents[next], span,
                       (pip - starts[i]) / span);
    };
}

const std::vector<SplineRow>& spline_rows() {
    static const std::vector<SplineRow> rows{
        {"kite", {{0.0, 0.9, 0}, {0.55, 0.2, 0}, {0.05, -0.95, 0}, {-0.5, 0.1, 0}}, {2, 3, 2.4, 1.6}},
        {"hourglass",
         {{-0.7, 0.85, 0}, {0.75, 0.8, 0}, {0.05, 0.0, 0}, {-0.8, -0.8, 0}, {0.7, -0.85, 0}, {-0.05, 0.05, 0}},
         {1.4, 1.0, 1.1, 1.6, 0.9, 1.2}},
        {"hook",
         {{0.3, 0.9, 0},
          {0.4, -0.2, 0},
          {0.0, -0.85, 0},
          {-0.6, -0.6, 0},
          {-0.45, -0.2, 0},
          {-0.05, -0.4, 0},
          {0.0, 0.3, 0}},
         {2.2, 1.2, 1.0, 0.7, 0.8, 1.1, 1.6}},
        {"crown",
         {{-0.8, -0.5, 0},
          {-0.75, 0.6, 0},
          {-0.35, 0.05, 0},
          {0.05, 0.85, 0},
          {0.4, 0.1, 0},
          {0.8, 0.65, 0},
          {0.75, -0.5, 0}},
         {1.3, 0.8, 0.9, 0.7, 1.0, 1.2, 2.1}},
        {"bow",
         {{0.05, 0.0, 0}, {0.8, 0.6, 0}, {0.75, -0.4, 0}, {-0.05, 0.05, 0}, {-0.8, 0.45, 0}, {-0.7, -0.55, 0}},
         {1.2, 0.9, 1.3, 1.0, 0.8, 1.5}},
        {"crooked_cross",
         {{0.85, 0.15, 0},
          {0.1, 0.12, 0},
          {0.25, 0.85, 0},
          {-0.1, 0.05, 0},
          {-0.8, -0.1, 0},
          {-0.05, -0.15, 0},
          {-0.2, -0.85, 0},
          {0.12, -0.05, 0}},
         {0.9, 1.1, 0.8, 1.2, 0.7, 1.0, 1.3, 0.9}},
        {"asymmetric_star",
         {{0.85, 0.1, 0},
          {0.2, 0.25, 0},
          {0.3, 0.9, 0},
          {-0.15, 0.3, 0},
          {-0.8, 0.45, 0},
          {-0.3, -0.1, 0},
          {-0.55, -0.8, 0},
          {0.05, -0.35, 0},
          {0.5, -0.7, 0},
          {0.3, -0.1, 0}},
         {0.7, 0.9, 0.6, 1.1, 0.8, 0.7, 1.2, 0.6, 0.9, 1.0}},
        // A scoop lingers along its low pass; a rising kite starts at its foot
        // and climbs slowly to its head before dropping back.
        {"scoop",
         {{-0.8, 0.6, 0}, {-0.35, -0.7, 0}, {0.45, -0.65, 0}, {0.85, 0.5, 0}, {0.2, -0.05, 0}},
         {1.4, 2.4, 1.6, 0.9, 1.2}},
        {"rising_kite",
         {{-0.2, -0.9, -0.5}, {-0.55, 0.25, 0.2}, {0.25, 0.9, 0.6}, {0.6, -0.05, 0.1}},
         {2.6, 2.8, 1.2, 1.4}},
        {"twisted_bow",
         {{0.05, 0.0, 0.0},
          {0.8, 0.6, 0.6},
          {0.75, -0.4, -0.3},
          {-0.05, 0.05, 0.05},
          {-0.8, 0.45, -0.55},
          {-0.7, -0.55, 0.4}},
         {1.1, 1.0, 1.4, 0.9, 0.8, 1.6}},
        {"cup",
         {{-0.8, 0.7, 0.5},
          {-0.5, -0.5, -0.1},
          {0.05, -0.85, -0.6},
          {0.55, -0.45, -0.1},
          {0.8, 0.75, 0.55},
          {0.0, 0.4, 0.2}},
         {1.2, 1.0, 0.9, 1.1, 1.5, 1.3}},
        {"bridge",
         {{-0.85, -0.7, 0.0},
          {-0.55, 0.45, 0.4},
          {0.05, 0.8, 0.7},
          {0.6, 0.4, 0.3},
          {0.8, -0.7, 0.0},
          {0.0, -0.3, -0.5}},
         {1.0, 1.2, 1.1, 0.9, 1.6, 1.4}},
        {"double_bay",
         {{0.8, 0.1, 0.1},
          {0.35, 0.75, 0.5},
          {0.0, 0.2, -0.2},
          {-0.4, 0.7, 0.45},
          {-0.8, 0.0, 0.0},
          {-0.2, -0.8, -0.5},
          {0.4, -0.6, -0.1}},
         {1.0, 0.9, 1.1, 1.0, 1.4, 1.2, 1.3}},
        {"slanted_loop",
         {{0.7, 0.75, 0.5},
          {-0.2, 0.4, 0.2},
          {-0.8, -0.45, -0.4},
          {-0.1, -0.8, -0.2},
          {0.3, -0.1, 0.0},
          {0.85, 0.2, 0.6}},
         {1.3, 1.1, 1.0, 0.8, 1.2, 0.9}},
        {"fork",
         {{0.0, -0.85, -0.3},
          {0.05, 0.0, 0.0},
          {-0.6, 0.8, 0.5},
          {-0.15, 0.2, 0.1},
          {0.1, 0.85, -0.45},
          {0.15, 0.25, 0.0},
          {0.7, 0.7, 0.4},
          {0.2, -0.1, -0.1}},
         {1.4, 1.0, 0.8, 0.9, 0.8, 0.9, 1.1, 1.3}},
        {"folded_crown",
         {{-0.8, -0.5, 0.0},
          {-0.7, 0.6, 0.5},
          {-0.3, 0.05, -0.3},
          {0.05, 0.85, 0.6},
          {0.4, 0.1, -0.4},
          {0.8, 0.65, 0.45},
          {0.7, -0.5, 0.0},
          {0.0, -0.2, -0.2}},
         {1.2, 0.8, 0.9, 0.8, 1.0, 1.1, 1.3, 1.2}},
    };
    return rows;
}

}  // namespace

Family splines() {
    Family family;
    int n = 0;
    for (const SplineRow& row : spline_rows()) {
        const bool with_depth = n++ >= 8;
        const AxisSpan z = with_depth ? AxisSpan{-0.634, 0.728} : AxisSpan{0, 0};
        family.push_back(make_pattern(
            std::string("spline_") + row.name, eight_beats, with_depth ? 3 : 2,
            "Periodic cubic tangents connect asymmetrical controls with unequal segment "
            "times.",
            fitted_path(eight_beats, spline_path(row), {{-peak, peak}, {-peak, peak}, z}, Measure::half_pips)));
    }
    return family;
}

namespace {

// ---- vertex tours ----

// The tour of the star polygon {n/k}: each leg eases from one vertex to the
// vertex k further on, then dwells there, long and short by turns; the last
// dwell, on the starting vertex, runs up to the loop point.
RawPath tour_path(int n, int k, bool with_depth) {
    std::vector<Offset3> vertices(n);
    const int lobes = 2 + n % 2;
    for (int i = 0; i < n; ++i) {
        const double a = 2.0 * pi * i / n;
        const double r = 1.0 - 0.09 * (1.0 - std::cos(lobes * a));  // noncircular: full radius only at vertex 0
        vertices[i] = {r * std::cos(a), 0.82 * r * std::sin(a), 0.0};
    }
    std::vector<double> durations;
    for (int leg = 0; leg < n; ++leg) {
        durations.push_back(1.0);
        durations.push_back(leg % 2 == 0 ? 0.55 : 0.2);
    }
    const std::vector<double> starts = segment_starts(durations, sixteen_beats);
    return [=](double pip) {
        const std::size_t segment = segment_at(starts, pip);
        const int leg = int(segment / 2);
        const Offset3 from = vertices[leg * k % n], to = vertices[(leg + 1) * k % n];
        const double eased =
            segment % 2 == 0 ? smootherstep((pip - starts[segment]) / (starts[segment + 1] - starts[segment])) : 1.0;
        Offset3 at = from + eased * (to - from);
        if (with_depth) at.z = std::sin(2.0 * pi * 2.0 * (leg + eased) / n);
        return at;
    };
}

}  // namespace

Family vertex_tours() {
    const std::array<std::pair<int, int>, 16> rows{{{5, 2},
                                                    {7, 2},
                                                    {7, 3},
                                                    {8, 3},
                                                    {9, 2},
                                                    {9, 4},
                                                    {10, 3},
                                                    {11, 2},
                                                    {11, 3},
                                                    {11, 4},
                                                    {12, 5},
                                                    {13, 2},
                                                    {13, 3},
                                                    {13, 4},
                                                    {13, 5},
                                                    {14, 3}}};
    Family family;
    for (int row = 0; row < 16; ++row) {
        const auto [n, k] = rows[row];
        const bool with_depth = row >= 8;
        const AxisSpan z = with_depth ? AxisSpan{-0.191, 0.191} : AxisSpan{0, 0};
        family.push_back(make_pattern("tour_" + std::to_string(n) + "_" + std::to_string(k), sixteen_beats,
                                      with_depth ? 3 : 2,
                                      "A noncircular vertex tour with eased corners and alternating dwell lengths.",
                                      fitted_path(sixteen_beats, tour_path(n, k, with_depth),
                                                  {{-0.615, peak}, {-0.503, 0.524}, z}, Measure::whole_pips)));
    }
    return family;
}

namespace {

// ---- scans ----

enum class ScanStyle { flat, bowed, tilted, depth };

// One eased stretch of a route: geometry at fraction s in [0, 1].
struct Stretch {
    double duration;
    std::function<Offset3(double s)> at;
};

RawPath eased_route(std::vector<Stretch> stretches, int period) {
    std::vector<double> durations;
    for (const Stretch& s : stretches) durations.push_back(s.duration);
    const std::vector<double> starts = segment_starts(durations, period);
    return [=](double pip) {
        const std::size_t i = segment_at(starts, pip);
        return stretches[i].at(smootherstep((pip - starts[i]) / (starts[i + 1] - starts[i])));
    };
}

// Rows run between x = -0.8 + bulge and 0.5, from the top row down; turns
// bulge outward; row 0 starts on the left edge itself. The outer return
// sweeps below the rows, up the right side and over the top back to it.
RawPath scan_path(ScanStyle style, int rows) {
    constexpr double left = -0.8, right = 0.5, bulge = 0.12, bottom = -0.55;
    const double top = 0.44 + 0.03 * rows;
    const double bow = style == ScanStyle::bowed ? 0.26 : 0.0;
    const double tilt = style == ScanStyle::tilted ? 0.24 : 0.0;
    const bool depth = style == ScanStyle::depth;
    const auto row_y = [=](int i) { return top - i * (top - bottom) / (rows - 1); };
    const auto on_row = [=](int i, double x) {
        const double along = (x - left) / (right - left);
        return Offset3{x, row_y(i) + bow * std::sin(pi * along) + tilt * along,
                       depth ? 0.25 * std::sin(pi * along) * (i % 2 == 0 ? 1.0 : -0.4) : 0.0};
    };
    std::vector<Stretch> stretches;
    for (int i = 0; i < rows; ++i) {
        const bool rightward = i % 2 == 0;
        const double from = rightward ? (i == 0 ? left : left + bulge) : right;
        const double to = rightward ? right : left + bulge;
        stretches.push_back({1.0, [=](double s) { return on_row(i, from + (to - from) * s); }});
        if (i + 1 == rows) break;
        const Offset3 a = on_row(i, to), b = on_row(i + 1, to);
        const double outward = rightward ? bulge : -bulge;
        stretches.push_back({0.35, [=](double s) {
                                 Offset3 p = a + ((1.0 - std::cos(pi * s)) / 2.0) * (b - a);
                                 p.x += outward * std::sin(pi * s);
                                 return p;
                             }});
    }
    const Offset3 end = on_row(rows - 1, rows % 2 == 1 ? right : left + bulge);
    const Offset3 start = on_row(0, left);
    // The return's waypoints and tangents do not depend on the style, so all
    // styles of one row count share their extremes and start point.
    // The return clears the top row by enough for the bowed and tilted rows,
    // which rise by up to 0.26 and so read apart from the flat ones.
    // After an odd row count the scan ends on the right and the return
    // rises from there; after an even one it first sweeps below the rows.
    std::vector<Offset3> points{end, {-0.1, bottom - 0.2, 0}, {right + 0.3, 0.0, 0}, {-0.4, top + 0.32, 0}, start};
    std::vector<Offset3> tangents{{0, -0.6, 0}, {1.6, 0, 0}, {0, 1.6, 0}, {-1.3, 0, 0}, {-0.5, -0.8, 0}};
    if (rows % 2 == 1) {
        points.erase(points.begin() + 1);
        tangents.erase(tangents.begin() + 1);
        tangents.front() = {0.7, -0.5, 0};
    }
    const int pieces = int(points.size()) - 1;
    stretches.push_back({1.8, [=](double s) {
                             const double at = s * pieces;
                             const int i = std::min(pieces - 1, int(at));
                             return hermite(points[i], tangents[i], points[i + 1], tangents[i + 1], 1.0, at - i);
                         }});
    return eased_route(stretches, sixteen_beats);
}

}  // namespace

Family scans() {
    const std::array<std::pair<const char*, ScanStyle>, 4> styles{{{"flat", ScanStyle::flat},
                                                                   {"bowed", ScanStyle::bowed},
                                                                   {"tilted", ScanStyle::tilted},
                                                                   {"depth", ScanStyle::depth}}};
    Family family;
    for (int rows : {3, 4, 5, 6})
        for (const auto& [word, style] : styles) {
            const bool with_depth = style == ScanStyle::depth;
            const AxisSpan z = with_depth ? AxisSpan{-0.121, 0.310} : AxisSpan{0, 0};
            family.push_back(make_pattern(std::string("scan_") + word + "_" + std::to_string(rows), sixteen_beats,
                                          with_depth ? 3 : 2,
                                          "An eased serpentine scan and an explicit outer return to the starting "
                                          "point.",
                                          fitted_path(sixteen_beats, scan_path(style, rows),
                                                      scan_path(with_depth ? style : ScanStyle::flat, rows),
                                                      {{-peak, 0.804}, {-0.779, peak}, z}, Measure::whole_pips)));
        }
    return family;
}

namespace {

// ---- reaches ----

enum class ReachShape { scoop, hook, lift, recoil };

struct ReachStroke {
    double extension;  // along the reach direction, 0 at the centre
    double side;       // across it
    double lift;       // in depth
};

// One reach over s in [0, 1]: out and back to the centre with zero speed at
// both ends, shaped by kind.
ReachStroke reach_stroke(ReachShape shape, double s) {
    const double out = std::sin(pi * s);
    switch (shape) {
        case ReachShape::scoop:  // sags below its line on the way out (see reach_path)
            return {out * out, 0.35 * std::sin(2.0 * pi * s) * out, 0.0};
        case ReachShape::hook:
            return {out * out, 0.45 * out * out * std::sin(pi * s / 2.0), 0.0};
        case ReachShape::lift:
            return {out * out, 0.1 * std::sin(2.0 * pi * s) * out, out * out};
        case ReachShape::recoil: {
            if (s < 0.72) {
                const double o = std::sin(pi * s / 0.72);
                return {o * o, 0.08 * o * o, 0.0};
            }
            const double back = std::sin(pi * (s - 0.72) / 0.28);
            return {-0.22 * back * back, 0.0, 0.0};
        }
    }
    return {};
}

// `count` reaches in turn, each followed by a short rest at the centre.
RawPath reach_path(ReachShape shape, int count) {
    const double heading = 0.35 + 0.5 * int(shape);
    return [=](double pip) {
        const double slot = pip * count / sixteen_beats;
        const int j = std::min(count - 1, int(slot));
        const double s = (slot - j) / 0.86;
        if (s >= 1.0) return Offset3{0, 0, 0};
        const double angle = heading + 2.0 * pi * j / count;
        const double length = 1.0 - 0.14 * (j % 3);
        const ReachStroke stroke = reach_stroke(shape, s);
        const double along = length * stroke.extension, across = length * stroke.side;
        // A scoop dips downward whichever way it reaches, deepest going out.
        const double sag = shape == ReachShape::scoop ? 0.4 * length * stroke.extension * (1.3 - s) : 0.0;
        return Offset3{along * std::cos(angle) - across * std::sin(angle),
                       along * std::sin(angle) + across * std::cos(angle) - sag,
                       (j % 2 == 0 ? 1.0 : -0.8) * stroke.lift};
    };
}

}  // namespace

Family reaches() {
    const std::array<std::pair<const char*, ReachShape>, 4> shapes{{{"scoop", ReachShape::scoop},
                                                                    {"hook", ReachShape::hook},
                                                                    {"lift", ReachShape::lift},
                                                                    {"recoil", ReachShape::recoil}}};
    Family family;
    for (int count : {3, 4, 5, 7})
        for (const auto& [word, shape] : shapes) {
            const bool with_depth = shape == ReachShape::lift;
            const AxisSpan z = with_depth ? AxisSpan{-0.393, 0.393} : AxisSpan{0, 0};
            family.push_back(make_pattern(std::string("reach_") + word + "_" + std::to_string(count), sixteen_beats,
                                          with_depth ? 3 : 2,
                                          "Separate shaped reaches depart from and settle at a shared centre, without "
                                          "reset jumps.",
                                          fitted_path(sixteen_beats, reach_path(shape, count),
                                                      {{-peak, peak}, {-0.741, 0.683}, z}, Measure::half_pips)));
        }
    return family;
}

namespace {

// ---- dwell phrases ----

// Holds and moves as fractions of the loop: lift from the rest at pip 0,
// hold the first lift from `first_hold` to `first_release`, transfer, hold
// the second lift from `second_hold` to `second_release`, settle past the
// rest and back, and rest from `rest_at` through the loop point.
struct DwellRow {
    double first_hold, first_release, second_hold, second_release, rest_at;
    Offset3 rest, first_lift, transfer, second_lift, overshoot;
};

// The transfer and settling waypoints are passed at different moments on
// each axis, so those moves curve instead of running straight.
constexpr Offset3 transfer_timing{0.35, 0.65, 0.5};
constexpr Offset3 settle_timing{0.6, 0.4, 0.5};

std::vector<Keyframe> dwell_axis(const DwellRow& row, double Offset3::* axis) {
    const double n = sixteen_beats;
    // Waypoints sit on whole pips, so the table holds their values exactly.
    const auto between = [n](double from, double to, double share) {
        return std::round((from + (to - from) * share) * n);
    };
    return {{0.0, row.rest.*axis},
            {row.first_hold * n, row.first_lift.*axis},
            {row.first_release * n, row.first_lift.*axis},
            {between(row.first_release, row.second_hold, transfer_timing.*axis), row.transfer.*axis},
            {row.second_hold * n, row.second_lift.*axis},
            {row.second_release * n, row.second_lift.*axis},
            {between(row.second_release, row.rest_at, settle_timing.*axis), row.overshoot.*axis},
            {row.rest_at * n, row.rest.*axis}};
}

Table dwell_table(const DwellRow& row) {
    const Table raw = keyframe_table(sixteen_beats, dwell_axis(row, &Offset3::x), dwell_axis(row, &Offset3::y),
                                     dwell_axis(row, &Offset3::z));
    return fitted_path(
        sixteen_beats, [&](double pip) { return raw[std::size_t(pip)]; },
        {{-0.7614, peak}, {-0.761, peak}, {-0.461, 0.512}}, Measure::whole_pips);
}

}  // namespace

Family dwell_phrases() {
    // In even-numbered rows the second lift is the higher one.
    const std::array<DwellRow, 16> rows{{
        {0.1,
         0.2,
         0.4,
         0.6,
         0.9,
         {-0.7614, 0.2929, 0},
         {-0.2, 0.82, 0.512},
         {0.4, 0.1, -0.2},
         {0.82, 0.45, 0.25},
         {-0.3, -0.761, -0.461}},
        {0.12,
         0.25,
         0.45,
         0.62,
         0.88,
         {-0.7, 0.2, 0.05},
         {0.1, 0.4, 0.3},
         {0.5, 0.2, -0.3},
         {0.8, 0.8, 0.45},
         {-0.2, -0.7, -0.4}},
        {0.08,
         0.22,
         0.38,
         0.55,
         0.86,
         {-0.6, 0.35, 0},
         {-0.4, 0.85, 0.5},
         {0.2, -0.1, -0.2},
         {0.75, 0.5, 0.2},
         {-0.5, -0.75, -0.45}},
        {0.15,
         0.3,
         0.5,
         0.7,
         0.92,
         {-0.75, 0.1, 0.02},
         {0.3, 0.55, 0.35},
         {0.6, -0.2, -0.3},
         {0.85, 0.75, 0.52},
         {-0.1, -0.8, -0.4}},
        {0.1,
         0.18,
         0.42,
         0.64,
         0.9,
         {-0.65, 0.25, -0.05},
         {0.0, 0.8, 0.4},
         {0.45, 0.0, -0.4},
         {0.7, 0.35, 0.2},
         {-0.35, -0.7, -0.45}},
        {0.13,
         0.27,
         0.47,
         0.6,
         0.89,
         {-0.72, 0.3, 0.04},
         {-0.1, 0.6, 0.3},
         {0.35, 0.15, -0.25},
         {0.8, 0.9, 0.5},
         {-0.25, -0.78, -0.5}},
        {0.09,
         0.24,
         0.4,
         0.58,
         0.87,
         {-0.68, 0.15, 0},
         {0.2, 0.82, 0.48},
         {0.55, -0.05, -0.35},
         {0.9, 0.42, 0.22},
         {-0.4, -0.72, -0.42}},
        {0.11,
         0.21,
         0.44,
         0.66,
         0.91,
         {-0.74, 0.22, 0.03},
         {-0.3, 0.5, 0.28},
         {0.3, 0.2, -0.2},
         {0.78, 0.78, 0.52},
         {-0.15, -0.8, -0.46}},
        {0.14,
         0.26,
         0.41,
         0.63,
         0.9,
         {-0.7, 0.32, -0.02},
         {0.05, 0.86, 0.46},
         {0.5, 0.05, -0.3},
         {0.82, 0.38, 0.25},
         {-0.3, -0.74, -0.44}},
        {0.1,
         0.23,
         0.46,
         0.61,
         0.88,
         {-0.62, 0.18, 0},
         {-0.25, 0.48, 0.32},
         {0.4, -0.15, -0.28},
         {0.86, 0.8, 0.5},
         {-0.45, -0.76, -0.48}},
        {0.12,
         0.2,
         0.39,
         0.57,
         0.86,
         {-0.76, 0.26, 0.05},
         {0.15, 0.84, 0.44},
         {0.6, 0.1, -0.22},
         {0.74, 0.56, 0.2},
         {-0.2, -0.7, -0.4}},
        {0.09,
         0.19,
         0.43,
         0.65,
         0.92,
         {-0.66, 0.34, 0.02},
         {-0.35, 0.44, 0.26},
         {0.25, -0.05, -0.36},
         {0.8, 0.76, 0.52},
         {-0.38, -0.8, -0.47}},
        {0.15,
         0.28,
         0.48,
         0.68,
         0.9,
         {-0.73, 0.12, -0.03},
         {0.25, 0.88, 0.48},
         {0.55, 0.18, -0.26},
         {0.88, 0.52, 0.3},
         {-0.12, -0.73, -0.43}},
        {0.11,
         0.25,
         0.4,
         0.59,
         0.87,
         {-0.69, 0.28, 0.01},
         {-0.05, 0.4, 0.24},
         {0.42, -0.12, -0.32},
         {0.76, 0.8, 0.5},
         {-0.28, -0.78, -0.5}},
        {0.13,
         0.22,
         0.45,
         0.62,
         0.91,
         {-0.64, 0.2, 0.04},
         {0.1, 0.83, 0.47},
         {0.48, 0.08, -0.24},
         {0.84, 0.58, 0.34},
         {-0.42, -0.72, -0.41}},
        {0.08,
         0.2,
         0.42,
         0.6,
         0.89,
         {-0.71, 0.31, -0.01},
         {-0.2, 0.46, 0.27},
         {0.36, -0.08, -0.3},
         {0.79, 0.87, 0.51},
         {-0.33, -0.77, -0.45}},
    }};
    Family family;
    for (int n = 0; n < 16; ++n)
        family.push_back(make_pattern("dwell_phrase_" + two_digits(n + 1), sixteen_beats, 3,
                                      "Two unequal lift-and-hold gestures, a transfer and a settling return; holds "
                                      "have finite musical duration.",
                                      dwell_table(rows[n])));
    return family;
}

namespace {

// ---- packets ----

enum class PacketStyle { alternating, cascading, crossing, depth };

// `count` windowed packets, one centred (on a whole pip) in each equal slot
// of the phrase with quiet gaps between, plus a side sway in y. More packets
// carry more cycles each; cascading packets also quicken as they shrink.
RawPath packet_path(PacketStyle style, int count) {
    return [=](double pip) {
        const double slot = double(eight_beats) / count;
        const int j = std::min(count - 1, int(pip / slot));
        const double centre = std::round((j + 0.5) * slot), span = 0.72 * slot;
        const double s = (pip - centre) / span + 0.5;
        if (s <= 0.0 || s >= 1.0) return Offset3{0, 0, 0};
        const double window = std::sin(pi * s) * std::sin(pi * s);
        const bool cascading = style == PacketStyle::cascading;
        const double cycles = 1.5 + 0.5 * count + (cascading ? 0.5 * j : 0.0);
        const double carrier = window * std::cos(2.0 * pi * cycles * (s - 0.5));
        const double sign = j % 2 == 0 ? 1.0 : -1.0;
        const double size = cascading ? 1.0 - 0.14 * j : 1.0;
        const double sway = 0.3 * window * std::sin(2.0 * pi * (s - 0.5)) * sign;
        Offset3 v{sign * size * carrier, sway, 0.0};
        if (style == PacketStyle::crossing) v.y += 0.22 * size * carrier;
        if (style == PacketStyle::depth)
            v.z = 0.4 * window * std::sin(2.0 * pi * (s - 0.5)) * (j % 3 == 1 ? -1.0 : 1.0);
        return v;
    };
}

}  // namespace

Family packets() {
    const std::array<std::pair<const char*, PacketStyle>, 4> styles{{{"alternating", PacketStyle::alternating},
                                                                     {"cascading", PacketStyle::cascading},
                                                                     {"crossing", PacketStyle::crossing},
                                                                     {"depth", PacketStyle::depth}}};
    Family family;
    for (int count : {2, 3, 4, 5})
        for (const auto& [word, style] : styles) {
            const bool with_depth = style == PacketStyle::depth;
            const AxisSpan z = with_depth ? AxisSpan{-0.347, 0.347} : AxisSpan{0, 0};
            family.push_back(make_pattern(std::string("packet_") + word + "_" + std::to_string(count), eight_beats,
                                          with_depth ? 3 : 2,
                                          "Compact, smooth-edged oscillation packets arranged around a closed phrase, "
                                          "with shaped side motion.",
                                          fitted_path(eight_beats, packet_path(style, count),
                                                      {{-peak, peak}, {-0.276, 0.276}, z}, Measure::half_pips)));
        }
    return family;
}

}  // namespace kinetrope_tablegen::continuum
