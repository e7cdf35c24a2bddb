#include "catalogue/generator/continuum/gesture_phrase.hpp"

#include <cmath>

namespace kinetrope_tablegen {

namespace {

enum class Easing { cosine, smoothstep };

struct GestureShape {
    Offset3 vector;
    Easing easing;
    double rise_fraction;  // share of the width spent rising before the onset
};

GestureShape shape_of(GestureType type) {
    switch (type) {
        case GestureType::left:
            return {{-0.31, -0.12, 0.0}, Easing::cosine, 0.4};
        case GestureType::right:
            return {{0.29, -0.15, 0.0}, Easing::cosine, 0.6};
        case GestureType::depth:
            return {{0.08, 0.05, 0.32}, Easing::smoothstep, 0.5};
        case GestureType::down:
            return {{0.06, -0.32, 0.12}, Easing::smoothstep, 1.0 / 3.0};
        case GestureType::up:
            return {{-0.032, 0.24, -0.072}, Easing::cosine, 2.0 / 3.0};
    }
    return {};
}

// u runs from 0 at the onset to 1 at either end of the gesture.
double ease(Easing easing, double u) {
    if (easing == Easing::cosine) {
        const double c = std::cos(pi * u / 2.0);
        return c * c;
    }
    const double v = 1.0 - u;
    return 3.0 * v * v - 2.0 * v * v * v;
}

}  // namespace

Offset3 gesture_vector(GestureType type) { return shape_of(type).vector; }

double gesture_envelope(GestureType type, double width, double distance) {
    const GestureShape shape = shape_of(type);
    const double rise = shape.rise_fraction * width;
    const double fall = (1.0 - shape.rise_fraction) * width;
    if (-rise < distance && distance <= 0.0) return ease(shape.easing, -distance / rise);
    if (0.0 < distance && distance < fall) return ease(shape.easing, distance / fall);
    return 0.0;
}

Table render_phrase(int period, std::span<const Gesture> phrase) {
    Table table(period, Offset3{0.0, 0.0, 0.0});
    for (const Gesture& gesture : phrase) {
        const Offset3 v = gesture_vector(gesture.type);
        const Offset3 full{gesture.weight * v.x, gesture.weight * v.y, gesture.weight * v.z};
        for (int p = 0; p < period; ++p) {
            const double g = gesture_envelope(gesture.type, gesture.width, loop_distance(p, gesture.onset, period));
            if (g == 0.0) continue;
            table[p].x += full.x * g;
            table[p].y += full.y * g;
            table[p].z += full.z * g;
        }
    }
    return table;
}

}  // namespace kinetrope_tablegen
