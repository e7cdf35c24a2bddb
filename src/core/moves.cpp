#include "kinetrope/moves.hpp"

#include <array>
#include <cmath>

#include "core/constants.hpp"

namespace kinetrope {
namespace {

using namespace detail;

struct Point2 {
    double x;
    double y;
};

struct Span {
    double from;
    double to;
};

constexpr double step_touch_dip = 0.35;
constexpr std::array<Span, 4> step_touch_targets{{{-1.0, 0.0}, {0.0, 1.0}, {1.0, 0.0}, {0.0, -1.0}}};
constexpr std::array<Point2, 4> box_corners{{{-1.0, -1.0}, {1.0, -1.0}, {1.0, 1.0}, {-1.0, 1.0}}};

struct LoamKeyframe {
    int pip;
    double x;
    double y;
};

constexpr LoamKeyframe loam_key(int pip, int fourteenths, double y) {
    return {pip, static_cast<double>(fourteenths) / 14.0, y};
}

constexpr std::array<LoamKeyframe, 14> loam_keyframes{{
    loam_key(0, 0, 0.0),
    loam_key(23, 2, -0.1),
    loam_key(33, 13, -0.8),
    loam_key(49, 5, -0.4),
    loam_key(87, -3, 0.2),
    loam_key(100, -14, 0.9),
    loam_key(118, -5, 0.5),
    loam_key(154, 1, 0.0),
    loam_key(169, 12, 1.0),
    loam_key(187, 4, 0.5),
    loam_key(215, -2, -0.2),
    loam_key(228, -10, -0.9),
    loam_key(243, -3, -0.3),
    loam_key(256, 0, 0.0),
}};

constexpr int loam_period = 256;

// A row on a keyframe's pip is computed in the segment ending there (t = 1).
std::array<Offset3, loam_period> build_loam_table() {
    std::array<Offset3, loam_period> table{};
    std::size_t a = 0;
    for (int i = 0; i < loam_period; ++i) {
        while (a + 1 < loam_keyframes.size() && i > loam_keyframes[a + 1].pip) {
            ++a;
        }
        const LoamKeyframe& from = loam_keyframes[a];
        const LoamKeyframe& to = loam_keyframes[a + 1];
        const double t = static_cast<double>(i - from.pip) / static_cast<double>(to.pip - from.pip);
        const double s = smoothstep(t);
        table[static_cast<std::size_t>(i)] = {(to.x - from.x) * s + from.x, (to.y - from.y) * s + from.y, 0.0};
    }
    return table;
}

// Filled once when the shared object loads, read-only afterwards.
const std::array<Offset3, loam_period> loam_table = build_loam_table();

}  // namespace

Offset3 bounce(int pip) {
    const double w = wrap_pip(pip, 64);
    return {1.0 - (std::fabs(w * one_64th - 0.5) * 4.0), 0.0, 0.0};
}

Offset3 sway(int pip) {
    const double w = wrap_pip(pip, 128);
    return {std::sin((w * one_128th) * two_pi), 0.0, 0.0};
}

Offset3 circle(int pip) {
    const double w = wrap_pip(pip, 64);
    const double angle = (w * one_64th) * two_pi - half_pi;
    return {std::cos(angle), std::sin(angle), 0.0};
}

Offset3 figure_eight(int pip) {
    const double w = wrap_pip(pip, 128);
    const double a = (w * one_128th) * two_pi;
    return {std::sin(a), std::sin(a + a), 0.0};
}

Offset3 step_touch(int pip) {
    const int w = wrap_pip(pip, 128);
    const Span& target = step_touch_targets[static_cast<std::size_t>(w / 32)];
    const double t = (w % 32) * one_32nd;
    const double s = smoothstep(t);
    const double x = target.from + (target.to - target.from) * s;
    return {x, -(std::sin(t * pi) * step_touch_dip), 0.0};
}

Offset3 box_step(int pip) {
    const int w = wrap_pip(pip, 256);
    const std::size_t k = static_cast<std::size_t>(w / 64);
    const Point2& from = box_corners[k];
    const Point2& to = box_corners[(k + 1) % 4];
    const double s = smoothstep((w % 64) * one_64th);
    return {from.x + (to.x - from.x) * s, from.y + (to.y - from.y) * s, 0.0};
}

Offset3 helix(int pip) {
    const double u = wrap_pip(pip, 256) * one_256th;
    return {std::cos(u * four_pi), std::sin(u * four_pi), std::sin(u * two_pi)};
}

Offset3 loam_background(int pip) { return loam_table[static_cast<std::size_t>(wrap_pip(pip, loam_period))]; }

}  // namespace kinetrope
