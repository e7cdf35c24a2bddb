// The initial collection: 28 individually authored patterns.

#include <algorithm>
#include <cmath>
#include <fstream>
#include <stdexcept>

#include "catalogue/generator/shared/authoring.hpp"

namespace kinetrope_tablegen {

namespace {

constexpr int four_beats = 256;
constexpr int eight_beats = 512;

Table breathe() {
    return from_formula(four_beats, [](int, double theta) { return Offset3{0.8 * std::sin(theta), 0.0, 0.0}; });
}

// Skewed triangle: -1 at f = 0 rising to +1 at f = 0.23, back to -1 at f = 1.
double skewed_triangle(double f) {
    f -= std::floor(f);
    return f < 0.23 ? -1.0 + 2.0 * f / 0.23 : 1.0 - 2.0 * (f - 0.23) / 0.77;
}

Table morph() {
    return from_formula(eight_beats, [](int p, double theta) {
        const double m = 0.5 - 0.5 * std::cos(theta);
        const double x = 0.8 * ((1.0 - m) * std::sin(4.0 * theta) + m * skewed_triangle(4.0 * p / eight_beats));
        return Offset3{x, 0.2 * std::sin(theta), 0.0};
    });
}

Table flower() {
    return from_formula(eight_beats, [](int, double theta) {
        return Offset3{0.56 * std::cos(theta) - 0.28 * std::cos(2.0 * theta),
                       0.56 * std::sin(theta) + 0.28 * std::sin(2.0 * theta), 0.0};
    });
}

Table elastic() {
    Table table = from_formula(four_beats, [](int p, double theta) {
        const double u = p / 256.0;
        const double window = std::sin(pi * u);
        return Offset3{std::sin(3.0 * theta) * (window * window) * std::exp(-2.0 * u), 0.0, 0.0};
    });
    normalise_peak(table, 0.8);
    return table;
}

struct KeyframeRow {
    const char* name;
    int dimensions;
    const char* description;
    std::vector<Keyframe> x, y;
};

const std::vector<KeyframeRow> keyframe_rows{
    {"lfo_surge",
     1,
     "A long rounded sweep and short recovery; an independently authored smooth-reset shape.",
     {{0, -0.8}, {192, 0.8}},
     {}},
    {"lfo_soft_gate",
     1,
     "Short smooth transitions separated by long stationary dwells. No square-wave teleport.",
     {{0, -0.8}, {32, 0.8}, {128, 0.8}, {160, -0.8}},
     {}},
    {"lfo_double_pump",
     2,
     "Two unequal pumps and a breathing space within four beats.",
     {},
     {{0, 0}, {32, -0.85}, {64, 0}, {96, -0.55}, {128, 0}}},
    {"lfo_glide_stair",
     1,
     "Five rounded steps traverse the field, then a smooth return.",
     {{0, -0.8}, {32, -0.8}, {64, -0.4}, {96, 0}, {128, 0.4}, {160, 0.8}, {192, 0.8}},
     {}},
};

AuthoredPattern keyframe_pattern(const std::string& name) {
    for (const KeyframeRow& row : keyframe_rows)
        if (name == row.name)
            return make_pattern(row.name, four_beats, row.dimensions, row.description,
                                keyframe_table(four_beats, row.x, row.y));
    throw std::logic_error("no keyframe row " + name);
}

Table ratchet() {
    std::vector<Pulse> pulses;
    const double scales[] = {1.0, 0.82, 0.64, 0.46};
    for (int j = 0; j < 4; ++j) pulses.push_back({16.0 * j, scaled({0.8, -0.5, 0.0}, scales[j]), 8.0});
    return pulse_score(four_beats, pulses);
}

AuthoredPattern euclid_rhythm(int k, int n) {
    std::vector<Pulse> pulses;
    const std::vector<int> steps = euclidean_onsets(k, n);
    for (std::size_t j = 0; j < steps.size(); ++j)
        pulses.push_back({steps[j] * 256.0 / n, {alternating(int(j)) * 0.8, -0.3, 0.0}, 12.0});
    const std::string kn = std::to_string(k) + "_" + std::to_string(n);
    return make_pattern("rhythm_euclid_" + kn, four_beats, 2,
                        std::to_string(k) + " evenly distributed onsets on a " + std::to_string(n) +
                            "-step grid. Alternating lateral gestures.",
                        pulse_score(four_beats, pulses));
}

Table three_two() {
    const std::vector<Pulse> pulses{{0.0, {0.78, 0.78, 0.0}, 24.0},
                                    {256.0 / 3.0, {0.78, 0.0, 0.0}, 24.0},
                                    {128.0, {0.0, 0.78, 0.0}, 24.0},
                                    {512.0 / 3.0, {0.78, 0.0, 0.0}, 24.0}};
    return pulse_score(four_beats, pulses);
}

Table half_time() {
    const std::vector<Pulse> pulses{{0.0, {0.0, 0.85, 0.0}, 16.0},
                                    {96.0, {0.0, 0.4675, 0.0}, 16.0},
                                    {128.0, {0.85, -0.25, 0.0}, 16.0},
                                    {224.0, {-0.4, -0.1, 0.0}, 12.0}};
    return pulse_score(four_beats, pulses);
}

struct StickingRow {
    const char* name;
    const char* sticking;  // twelve hands with one blank in the middle
    std::vector<int> accents;
};

const std::vector<StickingRow> sticking_rows{
    {"rudiment_double_paradiddle", "RLRLRR LRLRLL", {0, 6}},
    {"rudiment_paradiddle_diddle", "RLRRLL LRLLRR", {0, 6}},
    {"rudiment_six_stroke", "RLLRRL LRRLLR", {0, 5, 6, 11}},
};

AuthoredPattern sticking_study(const StickingRow& row) {
    std::string hands = row.sticking;
    hands.erase(hands.find(' '), 1);
    std::vector<Pulse> pulses;
    for (int j = 0; j < 12; ++j) {
        const double side = hands[j] == 'R' ? 1.0 : -1.0;
        const bool accented = std::find(row.accents.begin(), row.accents.end(), j) != row.accents.end();
        const Offset3 vector = accented ? Offset3{side * 0.82, -0.42, 0.0} : Offset3{side * 0.492, -0.252, 0.0};
        pulses.push_back({j * 64.0 / 3.0, vector, 28.0 / 3.0});
    }
    return make_pattern(row.name, four_beats, 2,
                        std::string("Visual sticking study ") + row.sticking +
                            "; equal triplet spacing over four beats. This is a movement interpretation, not a "
                            "complete drum-performance notation.",
                        pulse_score(four_beats, pulses));
}

Table flam_accent() {
    const double third = 128.0 / 3.0;
    const std::vector<Pulse> pulses{{0.0, {0.82, -0.42, 0.0}, 16.0},
                                    {third, {-0.492, -0.252, 0.0}, 16.0},
                                    {2 * third, {0.492, -0.252, 0.0}, 16.0},
                                    {128.0, {-0.82, -0.42, 0.0}, 16.0},
                                    {128.0 + third, {0.492, -0.252, 0.0}, 16.0},
                                    {128.0 + 2 * third, {-0.492, -0.252, 0.0}, 16.0},
                                    {120.0, {0.2624, -0.1344, 0.0}, 8.0},
                                    {248.0, {-0.2624, -0.1344, 0.0}, 8.0}};
    return pulse_score(four_beats, pulses);
}

// The easing curves of the D3 library, as published there.
double bounce_out(double t) {
    constexpr double b1 = 4.0 / 11, b2 = 6.0 / 11, b3 = 8.0 / 11, b4 = 3.0 / 4, b5 = 9.0 / 11, b6 = 10.0 / 11,
                     b7 = 15.0 / 16, b8 = 21.0 / 22, b9 = 63.0 / 64, b0 = 1 / b1 / b1;
    if (t < b1) return b0 * t * t;
    if (t < b3) return b0 * (t - b2) * (t - b2) + b4;
    if (t < b6) return b0 * (t - b5) * (t - b5) + b7;
    return b0 * (t - b8) * (t - b8) + b9;
}

constexpr double overshoot = 1.70158;

double back_in(double t) { return t * t * (overshoot * (t - 1) + t); }

double back_out(double t) {
    const double s = t - 1;
    return s * s * ((s + 1) * overshoot + s) + 1;
}

// Eased outward over pips 0-128, smoothstep return over 128-255.
Table ease_loop(double (*ease)(double)) {
    return from_formula(four_beats, [ease](int p, double) {
        if (p <= 128) return Offset3{-0.65 + 1.3 * ease(p / 128.0), 0.0, 0.0};
        const double u = (p - 128) / 128.0;
        return Offset3{0.65 - 1.3 * (3.0 * u * u - 2.0 * u * u * u), 0.0, 0.0};
    });
}

AuthoredPattern ease_pattern(const char* name, double (*ease)(double)) {
    return make_pattern(name, four_beats, 1,
                        "An attributed D3 easing curve, assembled into a closed outward-and-return loop.",
                        ease_loop(ease));
}

std::vector<double> read_waveform(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::vector<double> samples;
    for (long value; in >> value;) samples.push_back(double(value));
    if (samples.size() != 256) throw std::runtime_error("expected 256 samples in " + file.string());
    return samples;
}

// Mean removed, then scaled so the largest magnitude is 0.85.
AuthoredPattern waveform_pattern(const std::filesystem::path& data_dir, const char* name, const std::string& wave) {
    std::vector<double> x = read_waveform(data_dir / "first" / "akwf" / (wave + ".txt"));
    double sum = 0.0;
    for (double v : x) sum += v;
    const double mean = sum / 256.0;
    for (double& v : x) v -= mean;
    Table table = from_axes(four_beats, x);
    normalise_peak(table, 0.85);
    return make_pattern(name, four_beats, 1,
                        wave + "_256.h: an actual CC0 waveform slowed to a four-beat position loop.", table);
}

}  // namespace

std::vector<AuthoredPattern> author_grooves();

Collection author_initial(const std::filesystem::path& data_dir) {
    std::vector<AuthoredPattern> p;
    p.push_back(make_pattern("lfo_breathe", four_beats, 1,
                             "A four-beat, single-axis sine. The quiet reference for judging busier shapes.",
                             breathe()));
    for (const char* name : {"lfo_surge", "lfo_soft_gate", "lfo_double_pump"}) p.push_back(keyframe_pattern(name));
    p.push_back(make_pattern("lfo_ratchet", four_beats, 2,
                             "A four-hit decaying burst, then a rest. Every event is peak-aligned.", ratchet()));
    p.push_back(keyframe_pattern("lfo_glide_stair"));
    p.push_back(make_pattern(
        "lfo_morph", eight_beats, 2,
        "An eight-beat blend between a sine and skewed triangle; movement changes within the phrase.", morph()));
    p.push_back(make_pattern("lfo_flower", eight_beats, 2,
                             "Related rotations form an original three-lobed XY loop over eight beats.", flower()));
    p.push_back(euclid_rhythm(3, 8));
    p.push_back(euclid_rhythm(5, 12));
    p.push_back(make_pattern("rhythm_three_two", four_beats, 2,
                             "Three horizontal gestures interlock with two vertical gestures in one four-beat cycle.",
                             three_two()));
    p.push_back(make_pattern("rhythm_half_time", four_beats, 2,
                             "A strong downbeat, snare-like accent on beat three, and smaller offbeat shuffles.",
                             half_time()));
    for (const StickingRow& row : sticking_rows) p.push_back(sticking_study(row));
    p.push_back(make_pattern(
        "rudiment_flam_accent", four_beats, 2,
        "Opposite-hand grace gestures lead accented groups of three; deliberately expanded for visible motion.",
        flam_accent()));
    p.push_back(ease_pattern("ease_rebound", bounce_out));
    p.push_back(ease_pattern("ease_anticipate", back_in));
    p.push_back(ease_pattern("ease_overshoot", back_out));
    p.push_back(make_pattern("ease_elastic", four_beats, 1,
                             "Original windowed, decaying oscillation; not a copied D3 curve. Peak scaled to .8.",
                             elastic()));
    p.push_back(waveform_pattern(data_dir, "akwf_round_saw", "AKWF_R_asym_saw_05"));
    p.push_back(waveform_pattern(data_dir, "akwf_quick_return", "AKWF_R_asym_saw_15"));
    p.push_back(waveform_pattern(data_dir, "akwf_multi_lobe", "AKWF_0001"));
    p.push_back(waveform_pattern(data_dir, "akwf_plateau", "AKWF_0010"));
    for (AuthoredPattern& groove : author_grooves()) p.push_back(std::move(groove));
    return {"initial", std::move(p)};
}

}  // namespace kinetrope_tablegen
