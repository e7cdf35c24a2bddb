#include "catalogue/generator/beat_fit.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>
#include <string>

namespace kinetrope_tablegen {

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

// Target / reached, or 1 where there is nothing to scale and nothing wanted.
double side_factor(double target, double reached, const std::string& where) {
    if (reached == 0.0) {
        if (target != 0.0) throw std::runtime_error(where + " never moves to that side, cannot reach its target");
        return 1.0;
    }
    if (target == 0.0) throw std::runtime_error(where + " moves to a side its target forbids");
    return target / reached;
}

}  // namespace

void fit_motion_ranges(const std::vector<Table*>& fitted, const std::vector<const Table*>& fixed,
                       const MotionRanges& targets, const char* motion) {
    const std::array<AxisRange, 3> wanted{targets.x, targets.y, targets.z};
    const std::vector<const Table*> raw(fitted.begin(), fitted.end());
    for (std::size_t a = 0; a < axes.size(); ++a) {
        const std::string where = std::string(motion) + " " + axis_names[a];
        const AxisRange reached = extremes(raw, axes[a]);
        const double up = side_factor(wanted[a].high, reached.high, where);
        const double down = side_factor(wanted[a].low, reached.low, where);
        for (Table* table : fitted)
            for (Offset3& s : *table) s.*axes[a] *= s.*axes[a] > 0.0 ? up : down;
        const AxisRange kept = extremes(fixed, axes[a]);
        if (kept.low < wanted[a].low || kept.high > wanted[a].high)
            throw std::runtime_error(where + ": an exact row lies outside the target range");
    }
}

}  // namespace kinetrope_tablegen
