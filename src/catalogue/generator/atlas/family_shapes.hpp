#pragma once

#include <span>
#include <string>
#include <vector>

#include "catalogue/generator/shared/authoring.hpp"

// Building blocks shared by the atlas families: each family is a list of
// parameter rows plus one rule built from these.
namespace kinetrope_tablegen::atlas {

inline constexpr int eight_beats = 512;
inline constexpr int sixteen_beats = 1024;
inline constexpr double peak = 0.82;  // every normalised atlas table peaks here
inline constexpr int eighth_note = 32;

// The table scaled by one factor so its largest magnitude is `peak`.
Table normalised(Table table);

// A formula table, then peak-normalised.
template <typename Shape>
Table normalised_formula(int period, Shape shape) {
    return normalised(from_formula(period, shape));
}

// One sine term a·sin(k·theta + phase).
struct Harmonic {
    double k;
    double amplitude;
    double phase = 0.0;
};

// Sum of the terms at `theta`: the shared form of authored smooth loops.
double harmonic_sum(std::span<const Harmonic> terms, double theta);

// A closed, smooth curve through `points` spread evenly over the loop (point i
// at pip i·period/k), sampled at every pip: a periodic Catmull-Rom spline.
std::vector<double> closed_spline(std::span<const double> points, int period);

// The axis scaled (not shifted) so its largest magnitude is `limit`.
void scale_axis_peak(Table& table, double Offset3::* axis, double limit);

// "label" + the family's literal text.
std::string joined(std::string_view a, std::string_view b);

// Row numbers in names: 1 -> "01".
std::string two_digits(int number);

// Parameters joined by underscores, as names carry them: {3, 4} -> "3_4".
std::string underscored(std::span<const int> values);

}  // namespace kinetrope_tablegen::atlas
