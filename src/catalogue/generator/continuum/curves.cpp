// Continuum families drawn by closed harmonic formulas: ribbons, shaped
// contours, harmonic silhouettes, surface paths, braids and coupled arms.

#include <array>
#include <cmath>
#include <string>

#include "catalogue/generator/shared/authoring.hpp"
#include "catalogue/generator/continuum/families.hpp"
#include "catalogue/generator/continuum/fit.hpp"

namespace kinetrope_tablegen::continuum {

namespace {

constexpr int sixteen_beats = 1024;
constexpr double peak = 0.82;

double theta_at(double pip) { return phase_angle(pip, sixteen_beats); }

std::string two_digits(int n) { return (n < 10 ? "0" : "") + std::to_string(n); }

// The eight harmonic pairs shared by the ribbon, surface and braid families.
constexpr std::array<std::pair<int, int>, 8> harmonic_pairs{
    {{1, 2}, {1, 3}, {1, 4}, {1, 5}, {2, 3}, {2, 5}, {3, 4}, {3, 5}}};

std::string pair_name(const char* family, int a, int b) {
    return std::string(family) + "_" + std::to_string(a) + "_" + std::to_string(b);
}

// The value of `knob` in [low, high] at which the increasing measure
// `reached(knob)` equals `target`: shapes are tuned to their stated figures
// here, before any fit, so the fit has nothing left to bend.
template <typename Measure>
double solved(double low, double high, double target, Measure reached) {
    for (int i = 0; i < 80; ++i) {
        const double mid = 0.5 * (low + high);
        (reached(mid) < target ? low : high) = mid;
    }
    return 0.5 * (low + high);
}

template <typename Path, typename Measure>
double least_over_pips(const Path& path, Measure measure) {
    double least = 1e300;
    for (int p = 0; p < sixteen_beats; ++p) least = std::fmin(least, measure(path(p)));
    return least;
}

double planar_radius(Offset3 v) { return std::hypot(v.x, v.y); }
double spatial_radius(Offset3 v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

// Ribbon: the spine is the ellipse of the family's x and y ends; its width
// narrows a times per loop, deepened b times, and never at pip 0 or half-way
// (so the spine's own ends are kept); rows with even a also keep it whole at
// the quarter turns. The depth deflection follows the narrowing.
struct RibbonWidth {
    const char* suffix;
    double least_radius;  // the planar radius the narrowest point falls to
    double height;        // |z| reached
};

constexpr double ribbon_x = peak, ribbon_y = 0.764;

double ribbon_narrowing(int a, int b, double t) {
    const double sa = std::sin(a * t), sb = std::sin(b * t);
    return sa * sa * (0.3 + 0.7 * sb * sb);
}

RawPath ribbon_path(int a, int b, const RibbonWidth& width) {
    // Scaled so the narrowest point takes the whole dip in every row.
    double widest = 0.0;
    for (int p = 0; p < sixteen_beats; ++p) widest = std::fmax(widest, ribbon_narrowing(a, b, theta_at(p)));
    const auto spine = [=](double dip) {
        return [=](double pip) {
            const double t = theta_at(pip);
            const double w = 1.0 - dip / widest * ribbon_narrowing(a, b, t);
            return Offset3{w * ribbon_x * std::cos(t), w * ribbon_y * std::sin(t), 0.0};
        };
    };
    // A deeper dip narrows more, so the least radius falls as the dip grows.
    const double dip = solved(0.0, 1.0, -width.least_radius,
                              [&](double d) { return -least_over_pips(spine(d), planar_radius); });
    const auto deflection = [=](double t) { return ribbon_narrowing(a, b, t) * std::sin((a + b) * t); };
    double deepest = 0.0;
    for (int p = 0; p < sixteen_beats; ++p) deepest = std::fmax(deepest, std::fabs(deflection(theta_at(p))));
    const double depth = width.height / deepest;
    return [=](double pip) {
        Offset3 v = spine(dip)(pip);
        v.z = depth * deflection(theta_at(pip));
        return v;
    };
}

}  // namespace

Family ribbons() {
    const std::array<RibbonWidth, 2> widths{{{"slim", 0.25, 0.06}, {"deep", 0.11, 0.258}}};
    Family family;
    for (const RibbonWidth& width : widths)
        for (const auto& [a, b] : harmonic_pairs)
            family.push_back(make_pattern(
                pair_name("ribbon", a, b) + "_" + width.suffix, sixteen_beats, 3,
                "A curved elliptical spine with variable radial width and linked depth deflection.",
                scaled_path(sixteen_beats, ribbon_path(a, b, width), peak,
                            {{-peak, peak}, {-ribbon_y, ribbon_y}, {-width.height, width.height}},
                            {true, width.least_radius, peak})));
    return family;
}

namespace {

double signed_power(double v, double power) { return std::copysign(std::pow(std::fabs(v), power), v); }

struct ContourRow {
    double x_power, y_power;  // below 1 flattens the edge, above 1 points it
    int ripples;
    double ripple_depth, ripple_phase;
    double bow;    // bends the outline's ends upward, unevenly
    double start;  // phase of pip 0 around the outline
    int depth_cycles;
};

RawPath contour_path(const ContourRow& row, bool with_depth) {
    return [=](double pip) {
        const double t = theta_at(pip) + row.start;
        const double ex = signed_power(std::cos(t), row.x_power);
        const double ey = signed_power(std::sin(t), row.y_power);
        const double r = 1.0 + row.ripple_depth * std::cos(row.ripples * t + row.ripple_phase);
        const double y = 0.72 * r * ey + row.bow * (ex * ex - 0.5) * (1.0 + 0.4 * ex);
        // Depth leans further below zero than above, as the stated band does.
        const double w = std::sin(row.depth_cycles * t + 0.5 * row.start);
        const double z = with_depth ? w - 0.2 * w * w : 0.0;
        return Offset3{r * ex, y, z};
    };
}

}  // namespace

Family shaped_contours() {
    const std::array<ContourRow, 16> rows{{
        {0.6, 0.7, 5, 0.04, 0.0, 0.18, 0.0, 2},
        {1.4, 0.8, 7, 0.03, 0.5, -0.14, 0.3, 3},
        {0.5, 1.2, 6, 0.05, 1.0, 0.22, -0.4, 2},
        {1.2, 1.3, 9, 0.025, 0.2, 0.12, 0.8, 3},
        {0.75, 0.55, 8, 0.035, 2.0, -0.2, 1.6, 1},
        {1.6, 1.0, 5, 0.05, 0.9, 0.16, -1.1, 2},
        {0.9, 0.6, 11, 0.02, 0.4, -0.1, 2.4, 3},
        {0.55, 1.5, 7, 0.04, 1.7, 0.24, -2.0, 1},
        {1.1, 0.65, 6, 0.04, 0.3, 0.2, 0.5, 2},
        {0.65, 1.1, 8, 0.03, 1.2, -0.18, -0.7, 3},
        {1.5, 0.75, 5, 0.045, 2.2, 0.14, 1.3, 1},
        {0.7, 0.9, 9, 0.03, 0.7, -0.22, 2.8, 2},
        {1.3, 1.4, 7, 0.035, 1.5, 0.1, -1.6, 3},
        {0.6, 0.6, 10, 0.025, 0.1, 0.2, 0.2, 2},
        {1.0, 1.6, 6, 0.05, 2.6, -0.16, -2.5, 1},
        {0.8, 0.5, 8, 0.04, 1.9, 0.18, 1.9, 3},
    }};
    Family family;
    for (int n = 0; n < 16; ++n) {
        const bool with_depth = n >= 8;
        const AxisSpan z = with_depth ? AxisSpan{-0.148, 0.094} : AxisSpan{0, 0};
        family.push_back(make_pattern("contour_shaped_" + two_digits(n + 1), sixteen_beats, with_depth ? 3 : 2,
                                      "Signed-power oval edges with local ripples and an asymmetric bow.",
                                      fitted_path(sixteen_beats, contour_path(rows[n], with_depth),
                                                  {{-peak, peak}, {-0.593, 0.603}, z}, Measure::half_pips)));
    }
    return family;
}

namespace {

struct SilhouetteRow {
    int a, b, c;
    double a2, a3;
};

Offset3 silhouette_raw(const SilhouetteRow& r, double theta) {
    const double x = std::cos(r.a * theta) + r.a2 * std::sin(r.b * theta + 0.3) + r.a3 * std::cos(r.c * theta);
    const double y =
        0.65 * std::sin(r.a * theta + 0.2) + r.a3 * std::sin(r.b * theta) - r.a2 * std::cos(r.c * theta + 0.1);
    const double z = 0.12 * std::sin((r.a + r.b) * theta) * std::sin(theta);
    return {x, y, z};
}

// The factor comes from the 2048 half-pip phases, so a peak that falls
// between pips is still scaled to 0.82 and the stored samples stay below it.
Table silhouette_table(const SilhouetteRow& row) {
    constexpr int half_pips = 2 * sixteen_beats;
    double largest = 0.0;
    for (int i = 0; i < half_pips; ++i) {
        const Offset3 v = silhouette_raw(row, phase_angle(i, half_pips));
        largest = std::fmax(largest, std::fmax(std::fabs(v.x), std::fmax(std::fabs(v.y), std::fabs(v.z))));
    }
    const double factor = peak / largest;
    return from_formula(sixteen_beats, [&](int, double theta) { return scaled(silhouette_raw(row, theta), factor); });
}

}  // namespace

Family harmonic_silhouettes() {
    const std::array<SilhouetteRow, 16> rows{{{1, 2, 3, 0.20, 0.16},
                                              {1, 3, 5, 0.35, 0.12},
                                              {2, 3, 4, 0.30, 0.18},
                                              {2, 5, 7, 0.23, 0.16},
                                              {1, 4, 7, 0.35, 0.21},
                                              {3, 4, 5, 0.28, 0.14},
                                              {2, 7, 9, 0.19, 0.12},
                                              {3, 5, 8, 0.30, 0.17},
                                              {1, 2, 5, 0.40, 0.22},
                                              {1, 5, 8, 0.27, 0.24},
                                              {2, 3, 7, 0.34, 0.20},
                                              {3, 7, 10, 0.26, 0.16},
                                              {2, 4, 9, 0.33, 0.23},
                                              {3, 4, 9, 0.29, 0.25},
                                              {4, 5, 7, 0.25, 0.21},
                                              {4, 7, 11, 0.21, 0.16}}};
    Family family;
    for (int n = 0; n < 16; ++n)
        family.push_back(
            make_pattern("silhouette_harmonic_" + two_digits(n + 1), sixteen_beats, 3,
                         "Three unequal harmonic components, with cross-axis phases and a small linked depth term.",
                         silhouette_table(rows[n])));
    return family;
}

namespace {

// Surface: a closed surface whose equator is the family's x and y ends (an
// egg, fuller towards +x) and whose poles reach the row's height; the radius
// narrows between equator and turning latitude, so the path breathes between
// the least radius and 0.82 without leaving either end. Longitude turns a
// times, latitude swings b times.
constexpr double surface_least_radius = 0.61, surface_back = 0.721, surface_side = 0.785;

Offset3 surface_equator(double longitude) {
    // x runs from 0.82 at longitude 0 to -surface_back at the half turn.
    const double c = std::cos(longitude);
    const double lean = (peak - surface_back) / 2.0;
    return {(peak - lean) * c + lean * c * c, surface_side * std::sin(longitude), 0.0};
}

RawPath surface_path(int a, int b, double swing, double narrowing) {
    return [=](double pip) {
        const double t = theta_at(pip);
        const double turn = std::sin(b * t);  // latitude as a share of the swing
        const double latitude = swing * turn;
        const double between = std::sin(pi * turn);
        const double r = 1.0 - narrowing * between * between;
        const Offset3 e = surface_equator(a * t);
        return Offset3{r * e.x * std::cos(latitude), r * e.y * std::cos(latitude), r * peak * std::sin(latitude)};
    };
}

// The swing that takes z to `height` and the narrowing that takes the least
// radius to 0.61, measured on the stored pips; each barely moves the other.
RawPath tuned_surface_path(int a, int b, double height) {
    double swing = std::asin(height / peak), narrowing = 0.0;
    const auto highest = [&](double s, double n) {
        double z = 0.0;
        const RawPath path = surface_path(a, b, s, n);
        for (int p = 0; p < sixteen_beats; ++p) z = std::fmax(z, path(p).z);
        return z;
    };
    for (int round = 0; round < 4; ++round) {
        narrowing = solved(0.0, 0.5, -surface_least_radius, [&](double n) {
            return -least_over_pips(surface_path(a, b, swing, n), spatial_radius);
        });
        swing = solved(0.0, 0.5 * pi, height, [&](double s) { return highest(s, narrowing); });
    }
    return surface_path(a, b, swing, narrowing);
}

struct SurfaceExtent {
    const char* suffix;
    std::array<double, 8> heights;  // |z| reached, per harmonic pair
};

}  // namespace

Family surface_paths() {
    const std::array<SurfaceExtent, 2> extents{{
        {"low", {0.387, 0.30, 0.345, 0.36, 0.32, 0.35, 0.31, 0.372}},
        {"wide", {0.70, 0.742, 0.72, 0.69, 0.673, 0.776, 0.71, 0.755}},
    }};
    Family family;
    for (const SurfaceExtent& extent : extents)
        for (std::size_t i = 0; i < harmonic_pairs.size(); ++i) {
            const auto [a, b] = harmonic_pairs[i];
            const double h = extent.heights[i];
            family.push_back(make_pattern(pair_name("surface", a, b) + "_" + extent.suffix, sixteen_beats, 3,
                                          "A varying-radius surface path with coupled longitude and latitude; all "
                                          "three coordinates are retained.",
                                          scaled_path(sixteen_beats, tuned_surface_path(a, b, h), peak,
                                                      {{-surface_back, peak}, {-surface_side, surface_side}, {-h, h}},
                                                      {false, surface_least_radius, peak})));
        }
    return family;
}

namespace {

// Braid: a centreline circling a times about an offset centre, a tube
// cross-section rolling b times around it, and a second ripple in depth.
RawPath braid_path(int a, int b, int row) {
    const double roll_start = 0.7 * row;
    const double offset_x = 0.06 * std::cos(1.3 * row), offset_y = 0.06 * std::sin(1.3 * row);
    return [=](double pip) {
        const double t = theta_at(pip);
        const double roll = b * t + roll_start;
        const double reach = 0.6 + 0.26 * std::cos(roll);
        const double ripple = 0.09 * std::sin((a + b) * t + 0.5 * roll_start);
        return Offset3{offset_x + reach * std::cos(a * t), offset_y + 0.95 * reach * std::sin(a * t),
                       0.26 * std::sin(roll) + ripple};
    };
}

}  // namespace

Family braids() {
    const std::array<std::pair<int, int>, 16> rows{{{1, 2},
                                                    {1, 3},
                                                    {1, 4},
                                                    {1, 5},
                                                    {2, 3},
                                                    {2, 5},
                                                    {3, 4},
                                                    {3, 5},
                                                    {1, 6},
                                                    {2, 7},
                                                    {3, 7},
                                                    {4, 5},
                                                    {4, 7},
                                                    {5, 6},
                                                    {5, 7},
                                                    {5, 8}}};
    Family family;
    for (int n = 0; n < 16; ++n) {
        const auto [a, b] = rows[n];
        family.push_back(
            make_pattern(pair_name("braid", a, b), sixteen_beats, 3,
                         "An offset tube centreline and a rolling cross-section with a second depth ripple.",
                         fitted_path(sixteen_beats, braid_path(a, b, n),
                                     {{-peak, peak}, {-0.813, 0.813}, {-0.413, 0.422}}, Measure::half_pips)));
    }
    return family;
}

namespace {

// Coupled arm: the upper link swings about the pivot, the lower link turns
// at a fixed whole-number rate relative to it; rows with depth tilt the
// arm's plane about the vertical.
struct ArmRow {
    double upper_length;
    double swing;  // amplitude of the upper link, radians from hanging
    int swing_rate, turn_rate;
    double swing_phase, turn_phase;
    int tilt_rate;
};

RawPath arm_path(const ArmRow& row, bool with_depth) {
    return [=](double pip) {
        const double t = theta_at(pip);
        const double upper = row.swing * std::sin(row.swing_rate * t + row.swing_phase);
        const double lower = upper + row.turn_rate * t + row.turn_phase;
        const double lower_length = 1.0 - row.upper_length;
        const double x = row.upper_length * std::sin(upper) + lower_length * std::sin(lower);
        const double y = -row.upper_length * std::cos(upper) - lower_length * std::cos(lower);
        if (!with_depth) return Offset3{x, y, 0.0};
        const double tilt = 0.3 * std::sin(row.tilt_rate * t + row.turn_phase);
        return Offset3{x * std::cos(tilt), y, x * std::sin(tilt)};
    };
}

}  // namespace

Family coupled_arms() {
    const std::array<ArmRow, 16> rows{{
        {0.70, 1.80, 1, 2, 0.0, 3.14, 1},
        {0.72, 1.75, 1, 3, 0.4, 2.6, 2},
        {0.68, 1.85, 2, 3, 1.0, 3.4, 1},
        {0.74, 1.70, 1, -2, 0.2, 2.9, 3},
        {0.70, 1.82, 2, 5, 0.7, 3.0, 2},
        {0.66, 1.78, 1, 4, 1.4, 3.6, 1},
        {0.72, 1.86, 3, 4, 0.3, 2.8, 2},
        {0.69, 1.73, 2, -3, 1.9, 3.3, 3},
        {0.71, 1.80, 1, 3, 0.9, 3.1, 2},
        {0.67, 1.84, 2, 3, 0.1, 2.7, 1},
        {0.73, 1.76, 1, -3, 1.2, 3.5, 3},
        {0.70, 1.88, 3, 5, 0.5, 3.0, 2},
        {0.68, 1.74, 1, 5, 1.6, 2.9, 2},
        {0.72, 1.81, 2, -5, 0.8, 3.2, 3},
        {0.69, 1.79, 3, 2, 2.1, 3.4, 2},
        {0.71, 1.83, 1, 4, 0.6, 2.8, 3},
    }};
    Family family;
    for (int n = 0; n < 16; ++n) {
        const bool with_depth = n >= 8;
        const AxisSpan z = with_depth ? AxisSpan{-0.177, 0.177} : AxisSpan{0, 0};
        family.push_back(make_pattern("arm_coupled_" + two_digits(n + 1), sixteen_beats, with_depth ? 3 : 2,
                                      "Tip position of two kinematically driven links; not a dynamics simulation or "
                                      "anatomical model.",
                                      fitted_path(sixteen_beats, arm_path(rows[n], with_depth),
                                                  {{-peak, peak}, {-peak, 0.172}, z}, Measure::half_pips)));
    }
    return family;
}

}  // namespace kinetrope_tablegen::continuum
