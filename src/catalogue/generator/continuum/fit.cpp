#include "catalogue/generator/continuum/fit.hpp"

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

namespace kinetrope_tablegen::continuum {

namespace {

struct AxisCurve {
    double linear;
    double quadratic;
    double apply(double v) const { return v * (linear + quadratic * v); }
};

AxisCurve curve_through_zero(double smallest, double largest, AxisSpan target) {
    if (target.low == 0.0 && target.high == 0.0) return {0.0, 0.0};
    if (largest > 0.0 && smallest < 0.0) {
        const double quadratic = (target.high / largest - target.low / smallest) / (largest - smallest);
        const AxisCurve curve{target.high / largest - quadratic * largest, quadratic};
        const double slope_low = curve.linear + 2.0 * quadratic * smallest;
        const double slope_high = curve.linear + 2.0 * quadratic * largest;
        if (!(slope_low > 0.0 && slope_high > 0.0))
            throw std::logic_error("raw path too lopsided for its target range: " + std::to_string(smallest) + " .. " +
                                   std::to_string(largest));
        return curve;
    }
    if (largest > 0.0) return {target.high / largest, 0.0};
    if (smallest < 0.0) return {target.low / smallest, 0.0};
    throw std::logic_error("raw path axis never moves");
}

struct Extremes {
    Offset3 low{0, 0, 0};
    Offset3 high{0, 0, 0};
};

Extremes measure_extremes(int period, const RawPath& path, Measure measure) {
    const int steps = measure == Measure::half_pips ? 2 : 1;
    Extremes e;
    for (int i = 0; i < period * steps; ++i) {
        const Offset3 v = path(double(i) / steps);
        e.low = {std::fmin(e.low.x, v.x), std::fmin(e.low.y, v.y), std::fmin(e.low.z, v.z)};
        e.high = {std::fmax(e.high.x, v.x), std::fmax(e.high.y, v.y), std::fmax(e.high.z, v.z)};
    }
    return e;
}

void check_within(double v, AxisSpan target) {
    constexpr double slack = 1e-12;
    if (v < target.low - slack || v > target.high + slack)
        throw std::logic_error("fitted path leaves its target range");
}

}  // namespace

Table fitted_path(int period, const RawPath& path, const RangeTargets& targets, Measure measure) {
    return fitted_path(period, path, path, targets, measure);
}

Table fitted_path(int period, const RawPath& path, const RawPath& reference, const RangeTargets& targets,
                  Measure measure) {
    const Extremes e = measure_extremes(period, reference, measure);
    const AxisCurve x = curve_through_zero(e.low.x, e.high.x, targets.x);
    const AxisCurve y = curve_through_zero(e.low.y, e.high.y, targets.y);
    const AxisCurve z = curve_through_zero(e.low.z, e.high.z, targets.z);
    Table table(period);
    for (int p = 0; p < period; ++p) {
        const Offset3 v = path(p);
        table[p] = {x.apply(v.x), y.apply(v.y), z.apply(v.z)};
        check_within(table[p].x, targets.x);
        check_within(table[p].y, targets.y);
        check_within(table[p].z, targets.z);
    }
    return table;
}

Table scaled_path(int period, const RawPath& path, double peak, const RangeTargets& targets, RadiusBand band) {
    Table table(period);
    double largest = 0.0;
    for (int p = 0; p < period; ++p) {
        table[p] = path(p);
        const Offset3 v = table[p];
        largest = std::fmax(largest, std::fmax(std::fabs(v.x), std::fmax(std::fabs(v.y), std::fabs(v.z))));
    }
    if (!(largest > 0.0)) throw std::logic_error("raw path never moves");
    constexpr double slack = 1e-9;
    for (Offset3& v : table) {
        v = {v.x * peak / largest, v.y * peak / largest, v.z * peak / largest};
        check_within(v.x, targets.x);
        check_within(v.y, targets.y);
        check_within(v.z, targets.z);
        const double radius = band.planar ? std::hypot(v.x, v.y) : std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
        if (radius < band.low - slack || radius > band.high + slack)
            throw std::logic_error("scaled path leaves its radius band: " + std::to_string(radius));
    }
    return table;
}

}  // namespace kinetrope_tablegen::continuum
