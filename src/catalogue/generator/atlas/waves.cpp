// Atlas wave family: sixteen single-cycle control waves on x over eight
// beats, each a shaping of the loop's phase, peak-normalised.

#include <cmath>
#include <functional>

#include "catalogue/generator/atlas/families.hpp"
#include "catalogue/generator/atlas/family_shapes.hpp"

namespace kinetrope_tablegen::atlas {

namespace {

using WaveShape = std::function<double(double theta)>;

double cube(double v) { return v * v * v; }

// A phase that runs ahead and behind but still advances by exactly pi every
// half loop, so any odd function of its sine keeps only odd harmonics. The
// sine term squeezes the wave toward its zero crossings; the lean term moves
// the crest earlier, making the rise quicker than the fall.
double half_wave_warp(double theta, double squeeze, double lean) {
    return theta + squeeze * std::sin(2.0 * theta) + lean * (1.0 - std::cos(2.0 * theta));
}

// Full-wave rectified sine with a softened floor: sqrt(sin² + e²) depends on
// theta only through cos 2·theta, so it holds only even harmonics.
double soft_rectified(double theta) { return std::sqrt(std::sin(theta) * std::sin(theta) + 0.04); }

// Quick rise, then a return that dips through a scoop before settling.
const Harmonic scooped_return[] = {{1, 1.0}, {2, 0.42, -0.9}, {3, 0.12, -1.6}};

// s + sin(2·pi·s)/(2·pi) has zero slope at s = ±1/2: the wave pauses on a
// shelf half-way up and down. It is odd in s, and the warp leans the crest
// so the rise is quick and the fall scoops out slowly.
double shelf_and_scoop(double theta) {
    const double s = std::sin(half_wave_warp(theta, 0.0, 0.25));
    return s + std::sin(2.0 * pi * s) / (2.0 * pi);
}

struct WaveRow {
    const char* shape;
    const char* label;
    WaveShape rule;
};

const WaveRow wave_rows[] = {
    {"pinched", "Pinched sine", [](double t) { return 0.82 * cube(std::sin(t)); }},
    {"shouldered", "Shouldered sine", [](double t) { return 0.69 * std::sin(t) + 0.31 * std::sin(3.0 * t); }},
    {"folded", "Folded sine", [](double t) { return std::sin(2.2 * std::sin(t)); }},
    {"double_fold", "Double-fold wave", [](double t) { return std::sin(3.8 * std::sin(t)); }},
    {"rounded_square", "Rounded square", [](double t) { return std::tanh(2.0 * std::sin(t)); }},
    {"soft_rectifier", "Soft rectified swell", soft_rectified},
    {"skew_warp", "Phase-skew sweep", [](double t) { return std::sin(t + 0.7 * std::sin(t)); }},
    {"scoop_warp", "Scooped return", [](double t) { return harmonic_sum(scooped_return, t); }},
    {"shelf_wave", "Shelf and scoop", shelf_and_scoop},
    {"notched", "Notched crest",
     [](double t) { return std::sin(t) - 0.36 * std::sin(3.0 * t) + 0.12 * std::cos(5.0 * t); }},
    {"bottle", "Bottle-neck swell", [](double t) { return std::sin(t) / (0.58 + 0.18 * std::cos(2.0 * t)); }},
    {"reed", "Reed flutter", [](double t) { return std::sin(t) * (0.85 + 0.4 * std::cos(7.0 * t)); }},
    {"unequal_peaks", "Unequal double crest",
     [](double t) { return 0.67 * std::sin(t) + 0.4 * std::sin(2.0 * t + 0.8); }},
    {"ripple_return", "Rippled recovery",
     [](double t) { return std::sin(t) + 0.09 * std::sin(5.0 * t) * (1.0 + std::cos(t)); }},
    {"soft_teeth", "Soft triple teeth",
     [](double t) { return std::tanh(1.8 * (std::sin(t) + 0.4 * std::sin(3.0 * t))); }},
    {"warped_fold", "Warped wave fold",
     [](double t) { return std::sin(2.6 * std::sin(half_wave_warp(t, 0.3, 0.15))); }},
};

// The soft rectifier is fitted so it swings from its floor, -0.767 at pip 0,
// to the 0.82 crest; shifting adds only the zeroth harmonic.
Table wave_table(const WaveRow& row) {
    Table table = from_formula(eight_beats, [&row](int, double t) { return Offset3{row.rule(t), 0.0, 0.0}; });
    if (std::string_view(row.shape) == "soft_rectifier") fit_axis(table, &Offset3::x, -0.767, peak);
    return normalised(std::move(table));
}

}  // namespace

void add_waves(Rows& rows) {
    for (const WaveRow& row : wave_rows)
        rows.push_back(make_pattern(joined("wave_", row.shape), eight_beats, 1,
                                    joined(row.label,
                                           "; a continuous shaped control wave, mapped to horizontal "
                                           "displacement."),
                                    wave_table(row)));
}

}  // namespace kinetrope_tablegen::atlas
