// The expansion collection: 24 individually authored patterns.

#include <cmath>
#include <functional>
#include <string>

#include "catalogue/generator/shared/authoring.hpp"

namespace kinetrope_tablegen {

namespace {

constexpr int four_beats = 256;
constexpr int eight_beats = 512;
constexpr int sixteen_beats = 1024;

using Formula = std::function<Offset3(int p, double theta)>;

struct FormulaRow {
    const char* name;
    int period;
    int dimensions;
    const char* description;
    Formula shape;
};

double sq(double v) { return v * v; }
double cube(double v) { return v * v * v; }

const std::vector<FormulaRow> formula_rows{
    {"lfo_triplet_wobble", eight_beats, 2,
     "Three rounded oscillations per two beats, breathing in depth over an eight-beat phrase.",
     [](int, double t) { return Offset3{std::sin(12.0 * t) * (0.5525 - 0.255 * std::cos(t)), 0.22 * std::sin(t), 0}; }},
    {"lfo_breathing_orbit", eight_beats, 2,
     "A closed ellipse expands and contracts twice during its eight-beat revolution.",
     [](int, double t) {
         return Offset3{0.67 * std::cos(t) + 0.11 * std::cos(3.0 * t), 0.39 * std::sin(t) + 0.09 * std::sin(3.0 * t),
                        0};
     }},
    {"lfo_pendulum_dwell", eight_beats, 2,
     "Rounded saturation slows the pendulum near either side; a shallow arc connects the turns.",
     [](int, double t) {
         return Offset3{0.78 * std::tanh(2.8 * std::sin(t)) / std::tanh(2.8), 0.22 * std::cos(2.0 * t), 0};
     }},
    {"path_lissajous_2_3", eight_beats, 2,
     "Two horizontal cycles cross three vertical cycles in a closed eight-beat Lissajous path.",
     [](int, double t) { return Offset3{0.78 * std::sin(2.0 * t), 0.68 * std::sin(3.0 * t), 0}; }},
    {"path_rose_4", eight_beats, 2,
     "A signed radial oscillation draws four petals, passing through the centre between them.",
     [](int, double t) {
         const double r = 0.82 * std::cos(2.0 * t);
         return Offset3{r * std::cos(t), r * std::sin(t), 0};
     }},
    {"path_rose_5", eight_beats, 2,
     "Five petals in one complete eight-beat traversal; the odd-petal parameter runs through pi, not two pi.",
     [](int p, double) {
         const double phi = pi * p / eight_beats;
         const double r = 0.82 * std::cos(5.0 * phi);
         return Offset3{r * std::cos(phi), r * std::sin(phi), 0};
     }},
    {"path_bowed_diamond", eight_beats, 2,
     "An astroid-shaped loop with inward-curved edges and naturally slow corners.",
     [](int, double t) { return Offset3{0.8 * cube(std::cos(t)), 0.8 * cube(std::sin(t)), 0}; }},
    {"path_orbit_dwell", eight_beats, 2,
     "An ellipse whose phase slows to zero speed at the loop boundary and accelerates through the opposite side.",
     [](int, double t) {
         const double phi = t - std::sin(t);
         return Offset3{0.8 * std::cos(phi), 0.6 * std::sin(phi), 0};
     }},
    {"path_torus_knot", sixteen_beats, 3,
     "Two turns around the axis and three through the tube. XYZ is retained; the demo projects depth.",
     [](int, double t) {
         const double rho = 0.54 + 0.22 * std::cos(3.0 * t);
         return Offset3{rho * std::cos(2.0 * t), rho * std::sin(2.0 * t), 0.36 * std::sin(3.0 * t)};
     }},
    {"path_woven_3d", sixteen_beats, 3,
     "Independent two-, three-, and five-cycle XYZ oscillations close after sixteen beats.",
     [](int, double t) {
         return Offset3{0.72 * std::sin(2.0 * t), 0.64 * std::sin(3.0 * t), 0.48 * std::sin(5.0 * t)};
     }},
    {"path_crank_slider", four_beats, 2,
     "Horizontal slider-crank travel with rod length three and crank radius one; vertical motion follows the crank "
     "tip.",
     [](int, double t) {
         return Offset3{0.78 * (std::cos(t) + std::sqrt(9.0 - sq(std::sin(t))) - 3.0), 0.3 * std::sin(t), 0};
     }},
};

AuthoredPattern formula_pattern(const std::string& name) {
    for (const FormulaRow& row : formula_rows)
        if (name == row.name)
            return make_pattern(row.name, row.period, row.dimensions, row.description,
                                from_formula(row.period, row.shape));
    throw std::logic_error("no formula row " + name);
}

Table sweep_ratchet() {
    Table table = keyframe_table(eight_beats, {{0, -0.75}, {256, 0.75}, {384, 0.75}});
    const std::vector<Pulse> ratchets{{256, {0, -0.65, 0}, 12}, {288, {0, -0.507, 0}, 12}, {320, {0, -0.364, 0}, 12}};
    const Table y = pulse_score(eight_beats, ratchets);
    for (int p = 0; p < eight_beats; ++p) table[p].y = y[p].y;
    return table;
}

// Each lane is a few seeded harmonics with falling amplitudes, fitted to its
// range: irregular to the eye, yet exactly periodic.
std::vector<double> seeded_lane(std::uint64_t seed, int harmonics) {
    SeededSequence sequence(seed);
    std::vector<double> amplitude(harmonics), phase(harmonics);
    for (int k = 0; k < harmonics; ++k) {
        amplitude[k] = sequence.uniform(0.4, 1.0) / (k + 1);
        phase[k] = sequence.uniform(0.0, 2.0 * pi);
    }
    std::vector<double> lane(sixteen_beats);
    for (int p = 0; p < sixteen_beats; ++p) {
        double v = 0.0;
        for (int k = 0; k < harmonics; ++k)
            v += amplitude[k] * std::sin((k + 1) * phase_angle(p, sixteen_beats) + phase[k]);
        lane[p] = v;
    }
    return lane;
}

Table seeded_drift() {
    Table table =
        from_axes(sixteen_beats, seeded_lane(0x6B696E6574726F01ull, 7), seeded_lane(0x6B696E6574726F02ull, 6));
    fit_axis(table, &Offset3::x, -0.71, 0.79);
    fit_axis(table, &Offset3::y, -0.61, 0.40);
    return table;
}

// Lateral hits k per bar against four vertical hits per bar, over two bars.
AuthoredPattern cross_meter(int k, const char* word) {
    std::vector<Pulse> pulses;
    for (int j = 0; j < 2 * k; ++j) pulses.push_back({j * 256.0 / k, {alternating(j) * 0.72, 0, 0}, 12});
    for (int j = 0; j < 8; ++j) pulses.push_back({j * 64.0, {0, alternating(j) * 0.68, 0}, 12});
    return make_pattern(std::string("rhythm_") + word + "_four", eight_beats, 2,
                        std::to_string(k) +
                            " lateral hits against four vertical hits per four beats; two bars preserve alternating "
                            "directions.",
                        pulse_score(eight_beats, pulses));
}

// Euclidean onsets on sixteenths, laid in two bars; on-beat onsets are the loud ones.
AuthoredPattern euclid_sixteenths(int k) {
    std::vector<Pulse> pulses;
    int j = 0;
    for (int bar = 0; bar < 2; ++bar) {
        for (int step : euclidean_onsets(k, 16)) {
            const int pip = 256 * bar + 16 * step;
            const Offset3 full{alternating(j++) * 0.76, -0.3, 0};
            pulses.push_back({double(pip), pip % 64 == 0 ? full : Offset3{full.x * 0.72, -0.216, 0}, 12});
        }
    }
    return make_pattern("rhythm_euclid_" + std::to_string(k) + "_16", eight_beats, 2,
                        std::to_string(k) +
                            " evenly distributed onsets on a sixteen-step grid, repeated with alternating sides over "
                            "eight beats.",
                        pulse_score(eight_beats, pulses));
}

Table swung_answer() {
    std::vector<Pulse> pulses;
    for (int b = 0; b < 4; ++b) {
        const double s = b < 2 ? 1.0 : -1.0;
        pulses.push_back({64.0 * b, {s * 0.78, -0.3, 0}, 8});
        pulses.push_back({64.0 * b + 128.0 / 3.0, {s * 0.468, -0.18, 0}, 8});
    }
    return pulse_score(four_beats, pulses);
}

// Three group accents, then the same three mirrored, starting at `answer`.
Table mirrored_groups(int period, const std::vector<Pulse>& first_half, double answer) {
    std::vector<Pulse> pulses = first_half;
    for (const Pulse& pulse : first_half)
        pulses.push_back({pulse.onset + answer, {-pulse.vector.x, pulse.vector.y, 0}, pulse.half_width});
    return pulse_score(period, pulses);
}

Table three_four_five() {
    std::vector<Pulse> pulses;
    for (int j = 0; j < 3; ++j) pulses.push_back({j * 512.0 / 3.0, {0.7, 0, 0}, 24});
    for (int j = 0; j < 4; ++j) pulses.push_back({j * 128.0, {0, -0.7, 0}, 24});
    for (int j = 0; j < 5; ++j) pulses.push_back({j * 512.0 / 5.0, {0, 0, 0.55}, 24});
    return pulse_score(eight_beats, pulses);
}

void add_rhythms(std::vector<AuthoredPattern>& p) {
    p.push_back(cross_meter(5, "five"));
    p.push_back(cross_meter(7, "seven"));
    p.push_back(euclid_sixteenths(7));
    p.push_back(euclid_sixteenths(5));
    p.push_back(make_pattern(
        "rhythm_swung_answer", four_beats, 2,
        "A two-to-one swung call on the right, answered on the left; four beats and eight peak-aligned gestures.",
        swung_answer()));
    p.push_back(make_pattern(
        "rhythm_group_332", eight_beats, 2,
        "Groups of three, three, and two eighth notes. Six alternating accents make an eight-beat loop.",
        mirrored_groups(eight_beats,
                        {{0, {0.76, -0.38, 0}, 16}, {96, {-0.5472, -0.2736, 0}, 16}, {192, {0.6536, -0.3268, 0}, 16}},
                        256)));
    p.push_back(make_pattern(
        "rhythm_group_223", 448, 2,
        "Two 7/8 bars grouped as 2+2+3 eighth notes: a seven-quarter-note loop, not forced into four beats.",
        mirrored_groups(448, {{0, {0.74, -0.4, 0}, 16}, {64, {-0.518, -0.28, 0}, 16}, {128, {0.629, -0.34, 0}, 16}},
                        224)));
    p.push_back(
        make_pattern("rhythm_three_four_five", eight_beats, 3,
                     "Three X, four Y, and five Z gestures share an eight-beat phrase, with exact rational peak times.",
                     three_four_five()));
}

}  // namespace

Collection author_expansion(const std::filesystem::path&) {
    std::vector<AuthoredPattern> p;
    p.push_back(make_pattern("lfo_twin_swell", eight_beats, 2,
                             "Two broad swells of unequal depth, with a gentle lateral answer. Eight beats.",
                             keyframe_table(eight_beats, {{0, 0}, {128, 0.2}, {256, 0}, {384, -0.32}},
                                            {{0, 0}, {128, -0.85}, {256, 0}, {384, -0.45}})));
    p.push_back(make_pattern("lfo_pulse_hold", four_beats, 1,
                             "A smooth outward pulse, sustained plateau, smaller opposite recoil, and rest.",
                             keyframe_table(four_beats, {{0, 0}, {32, 0.8}, {128, 0.8}, {160, -0.35}, {192, 0}})));
    p.push_back(make_pattern("lfo_sweep_ratchet", eight_beats, 2,
                             "A slow lateral sweep followed by three decaying vertical ratchets; no reset jump.",
                             sweep_ratchet()));
    p.push_back(formula_pattern("lfo_triplet_wobble"));
    p.push_back(formula_pattern("lfo_breathing_orbit"));
    p.push_back(make_pattern(
        "lfo_seeded_drift", sixteen_beats, 2,
        "Two independently seeded smooth random lanes; irregular-looking but exactly periodic and seekable.",
        seeded_drift()));
    p.push_back(formula_pattern("lfo_pendulum_dwell"));
    p.push_back(
        make_pattern("lfo_reverse_swell", eight_beats, 2,
                     "A long anticipatory rise, quick softened return, and two diminishing aftershocks.",
                     keyframe_table(eight_beats, {{0, 0}, {192, -0.24}, {224, 0.24}, {384, 0}},
                                    {{0, 0}, {192, -0.82}, {224, 0}, {256, -0.38}, {288, 0}, {320, -0.18}, {352, 0}})));
    for (const char* name : {"path_lissajous_2_3", "path_rose_4", "path_rose_5", "path_bowed_diamond",
                             "path_orbit_dwell", "path_torus_knot", "path_woven_3d", "path_crank_slider"})
        p.push_back(formula_pattern(name));
    add_rhythms(p);
    return {"expansion", std::move(p)};
}

}  // namespace kinetrope_tablegen
