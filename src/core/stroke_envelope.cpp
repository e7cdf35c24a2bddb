#include "core/stroke_envelope.hpp"

#include <cmath>

#include "core/constants.hpp"

namespace kinetrope::detail {
namespace {

constexpr double lift_factor = 0.72;

constexpr double clamp_unit(double value) {
    if (value < -1.0) {
        value = -1.0;
    }
    if (value > 1.0) {
        value = 1.0;
    }
    return value;
}

}  // namespace

Offset3 stroke_envelope(int pip, int period, std::span<const Stroke> strokes) {
    double x_sum = 0.0;
    double y_sum = 0.0;
    const int w = wrap_pip(pip, period);
    for (const Stroke& stroke : strokes) {
        const int age = wrap_pip(w - stroke.onset_pip, period);
        if (age >= stroke.duration_pips) {
            continue;
        }
        const double phase = (static_cast<double>(age) / static_cast<double>(stroke.duration_pips)) * pi;
        const double e = std::sin(phase);
        const double g = (stroke.strength * e) * e;
        y_sum = y_sum - lift_factor * g;
        x_sum = g * static_cast<double>(stroke.hand) + x_sum;
    }
    return {clamp_unit(x_sum), clamp_unit(y_sum), 0.0};
}

}  // namespace kinetrope::detail
