#include "grooves/engine.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>
#include <string>

namespace kinetrope::grooves::engine {

namespace {

using Axis = double Offset3::*;
constexpr std::array<Axis, 3> axes{&Offset3::x, &Offset3::y, &Offset3::z};
constexpr std::array<const char*, 3> axis_names{"x", "y", "z"};

AxisRange extremes(const std::vector<const Table*>& tables, Axis axis) {
    AxisRange range{0.0, 0.0};
    for (const Table* table : tables)
        for (const Offset3& s : *table) range = {std::fmin(range.low, s.*axis), std::fmax(range.high, s.*axis)};
    return range;
}

// A straight scale when only one side moves.
AxisMap axis_map(AxisRange target, AxisRange reached, const std::string& where) {
    const bool up = reached.high > 0.0, down = reached.low < 0.0;
    if (up != (target.high > 0.0) || down != (target.low < 0.0))
        throw std::runtime_error(where + ": the raw motion does not move to the sides its targets ask for");
    if (!up && !down) return {1.0, 0.0};
    if (!down) return {target.high / reached.high, 0.0};
    if (!up) return {target.low / reached.low, 0.0};
    // c1·M + c2·M² = high and c1·m + c2·m² = low
    const double m = reached.low, M = reached.high;
    const double c2 = (target.high / M - target.low / m) / (M - m);
    const double c1 = target.high / M - c2 * M;
    if (!(c1 + 2.0 * c2 * m > 0.0 && c1 + 2.0 * c2 * M > 0.0))
        throw std::runtime_error(where + ": raw range " + std::to_string(m) + " .. " + std::to_string(M) +
                                 " too far from its target shape to fit smoothly");
    return {c1, c2};
}

}  // namespace

MotionFit fit_motion_ranges(const std::vector<Table*>& fitted, const std::vector<const Table*>& fixed,
                            const MotionRanges& targets, const char* motion) {
    MotionFit fit{};
    const std::array<AxisRange, 3> wanted{targets.x, targets.y, targets.z};
    const std::vector<const Table*> raw(fitted.begin(), fitted.end());
    for (std::size_t a = 0; a < axes.size(); ++a) {
        const std::string where = std::string(motion) + " " + axis_names[a];
        const AxisRange reached = extremes(raw, axes[a]);
        const AxisMap map = axis_map(wanted[a], reached, where);
        fit[a] = {map.c1, map.c2, reached.low, reached.high};
        for (Table* table : fitted)
            for (Offset3& s : *table) s.*axes[a] = map(s.*axes[a]);
        const AxisRange kept = extremes(fixed, axes[a]);
        if (kept.low < wanted[a].low || kept.high > wanted[a].high)
            throw std::runtime_error(where + ": an exact row lies outside the target range");
    }
    return fit;
}

double round_to_12_decimals(double value) {
    const long long units = std::llround(value * 1e12);
    return units == 0 ? 0.0 : double(units) / 1e12;
}

}  // namespace kinetrope::grooves::engine
