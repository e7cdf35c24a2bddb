#include "catalogue/generator/atlas/family_shapes.hpp"

#include <cmath>
#include <stdexcept>

namespace kinetrope_tablegen::atlas {

Table normalised(Table table) {
    normalise_peak(table, peak);
    return table;
}

double harmonic_sum(std::span<const Harmonic> terms, double theta) {
    double sum = 0.0;
    for (const Harmonic& h : terms) sum += h.amplitude * std::sin(h.k * theta + h.phase);
    return sum;
}

std::vector<double> closed_spline(std::span<const double> points, int period) {
    const int k = int(points.size());
    if (k < 3) throw std::invalid_argument("a closed spline needs at least three points");
    const auto point = [&](int i) { return points[((i % k) + k) % k]; };
    std::vector<double> curve(period);
    for (int p = 0; p < period; ++p) {
        const double t = double(p) * k / period;
        const int i = int(std::floor(t));
        const double f = t - i;
        const double p0 = point(i - 1), p1 = point(i), p2 = point(i + 1), p3 = point(i + 2);
        curve[p] = 0.5 * (2.0 * p1 + (p2 - p0) * f + (2.0 * p0 - 5.0 * p1 + 4.0 * p2 - p3) * f * f +
                          (3.0 * p1 - p0 - 3.0 * p2 + p3) * f * f * f);
    }
    return curve;
}

void scale_axis_peak(Table& table, double Offset3::* axis, double limit) {
    double largest = 0.0;
    for (const Offset3& s : table) largest = std::fmax(largest, std::fabs(s.*axis));
    if (largest == 0.0) throw std::invalid_argument("cannot scale an axis that never moves");
    const double factor = limit / largest;
    for (Offset3& s : table) s.*axis *= factor;
}

std::string joined(std::string_view a, std::string_view b) { return std::string(a) + std::string(b); }

std::string two_digits(int number) { return (number < 10 ? "0" : "") + std::to_string(number); }

std::string underscored(std::span<const int> values) {
    std::string text;
    for (int v : values) text += (text.empty() ? "" : "_") + std::to_string(v);
    return text;
}

}  // namespace kinetrope_tablegen::atlas
