// A part's motions at run time: the rules the built-in grooves are made
// with, then the same per-axis maps, so a part of a user's own moves as far
// as a built-in groove would.

#include <algorithm>
#include <array>
#include <string>

#include "grooves/engine.hpp"

namespace kinetrope::grooves {

namespace {

using engine::AxisRange;
using engine::Table;

using Axis = double Offset3::*;
constexpr std::array<Axis, 3> axes{&Offset3::x, &Offset3::y, &Offset3::z};

// A part unlike every built-in groove may still reach past the motion's
// range: the axis then shrinks, uniformly, until it fits (it never grows).
void keep_within(Table& table, Axis axis, AxisRange range) {
    double low = 0.0, high = 0.0;
    for (const Offset3& s : table) low = std::min(low, s.*axis), high = std::max(high, s.*axis);
    // the fit's own rounding may reach past an end by a hair; that stays
    constexpr double slack = 1e-12;
    double factor = 1.0;
    if (high > range.high + slack) factor = std::min(factor, range.high / high);
    if (low < range.low - slack) factor = std::min(factor, range.low / low);
    if (factor == 1.0) return;
    for (Offset3& s : table) s.*axis *= factor;
}

int dimensions_of(const Table& table) {
    return std::any_of(table.begin(), table.end(), [](const Offset3& s) { return s.z != 0.0; }) ? 3 : 2;
}

std::size_t motion_index(std::string_view name) {
    const auto names = motion_names();
    const auto found = std::find(names.begin(), names.end(), name);
    if (found == names.end()) throw PartError("unknown motion " + std::string(name.substr(0, 40)));
    return std::size_t(found - names.begin());
}

}  // namespace

std::span<const std::string_view> motion_names() {
    static const std::vector<std::string_view> names = [] {
        std::vector<std::string_view> out;
        for (const engine::BeatMotion& m : engine::beat_motions()) out.emplace_back(m.suffix);
        return out;
    }();
    return names;
}

std::vector<MotionTable> render(const DrumPart& part, std::span<const std::string_view> motions) {
    std::vector<std::size_t> chosen;
    for (std::string_view name : motions) chosen.push_back(motion_index(name));
    if (motions.empty())
        for (std::size_t m = 0; m < std::size_t(engine::motion_count); ++m) chosen.push_back(m);
    // a part built by hand is checked as one built by make_part
    const DrumPart checked = make_part(part.bars, part.beats_per_bar, part.beat_unit, part.events);
    const engine::GrooveLanes lanes = engine::listen(checked);
    std::vector<MotionTable> out;
    for (std::size_t m : chosen) {
        const engine::BeatMotion& motion = engine::beat_motions()[m];
        Table table = motion.rule(lanes);
        const std::array<AxisRange, 3> ranges{motion.ranges.x, motion.ranges.y, motion.ranges.z};
        for (std::size_t a = 0; a < axes.size(); ++a) {
            const engine::AxisMap map = engine::builtin_fits[m][a];
            for (Offset3& s : table) s.*axes[a] = engine::round_to_12_decimals(map.extended(s.*axes[a]));
            keep_within(table, axes[a], ranges[a]);
        }
        const int dimensions = dimensions_of(table);
        out.push_back({motion_names()[m], dimensions, std::move(table)});
    }
    return out;
}

}  // namespace kinetrope::grooves
