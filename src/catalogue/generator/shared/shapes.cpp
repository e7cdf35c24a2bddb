#include "catalogue/generator/shared/shapes.hpp"

#include <cmath>
#include <stdexcept>

namespace kinetrope_tablegen {

double phase_angle(double pip, int period) { return 2.0 * pi * pip / period; }

double smootherstep(double u) {
    const double u3 = u * u * u;
    const double u4 = u3 * u;
    const double u5 = u4 * u;
    return 6.0 * u5 - 15.0 * u4 + 10.0 * u3;
}

namespace {

void check_keyframes(int period, std::span<const Keyframe> keyframes) {
    if (keyframes.empty() || keyframes.front().pip != 0.0)
        throw std::invalid_argument("keyframe track must start at pip 0");
    for (std::size_t i = 1; i < keyframes.size(); ++i)
        if (!(keyframes[i - 1].pip < keyframes[i].pip)) throw std::invalid_argument("keyframe pips must increase");
    if (!(keyframes.back().pip < period)) throw std::invalid_argument("keyframe beyond the period");
}

double ease_between(const Keyframe& a, const Keyframe& b, double pip) {
    const double u = (pip - a.pip) / (b.pip - a.pip);
    return a.value + (b.value - a.value) * smootherstep(u);
}

}  // namespace

std::vector<double> keyframe_track(int period, std::span<const Keyframe> keyframes) {
    check_keyframes(period, keyframes);
    std::vector<double> track(period);
    std::size_t segment = 0;
    for (int p = 0; p < period; ++p) {
        while (segment + 1 < keyframes.size() && keyframes[segment + 1].pip <= p) ++segment;
        const Keyframe& a = keyframes[segment];
        const Keyframe b =
            segment + 1 < keyframes.size() ? keyframes[segment + 1] : Keyframe{double(period), keyframes.front().value};
        track[p] = ease_between(a, b, p);
    }
    return track;
}

double loop_distance(double pip, double onset, int period) {
    const double half = period / 2.0;
    double d = std::fmod(pip - onset, double(period));
    if (d > half) d -= period;
    if (d <= -half) d += period;
    return d;
}

double raised_cosine(double distance, double half_width) {
    if (!(std::fabs(distance) < half_width)) return 0.0;
    const double c = std::cos(pi * distance / (2.0 * half_width));
    return c * c;
}

Table pulse_score(int period, std::span<const Pulse> pulses) {
    Table table(period, Offset3{0.0, 0.0, 0.0});
    for (const Pulse& pulse : pulses) {
        for (int p = 0; p < period; ++p) {
            const double bump = raised_cosine(loop_distance(p, pulse.onset, period), pulse.half_width);
            if (bump == 0.0) continue;
            table[p].x += pulse.vector.x * bump;
            table[p].y += pulse.vector.y * bump;
            table[p].z += pulse.vector.z * bump;
        }
    }
    return table;
}

void normalise_peak(Table& table, double peak) {
    double largest = 0.0;
    for (const Offset3& s : table)
        largest = std::fmax(largest, std::fmax(std::fabs(s.x), std::fmax(std::fabs(s.y), std::fabs(s.z))));
    if (largest == 0.0) throw std::invalid_argument("cannot normalise a table that never moves");
    const double factor = peak / largest;
    for (Offset3& s : table) s = {s.x * factor, s.y * factor, s.z * factor};
}

std::vector<int> euclidean_onsets(int k, int n) {
    std::vector<int> steps;
    for (int i = 0; i < n; ++i)
        if (i * k % n < k) steps.push_back(i);
    return steps;
}

Table from_axes(int period, std::span<const double> x, std::span<const double> y, std::span<const double> z) {
    Table table(period, Offset3{0.0, 0.0, 0.0});
    for (int p = 0; p < period; ++p) {
        if (!x.empty()) table[p].x = x[p];
        if (!y.empty()) table[p].y = y[p];
        if (!z.empty()) table[p].z = z[p];
    }
    return table;
}

}  // namespace kinetrope_tablegen
