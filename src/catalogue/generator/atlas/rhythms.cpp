// Atlas rhythm families: euclid, poly, meter, swing and stick_study. Each is
// a pulse score of raised-cosine events; the rows only choose the events.

#include <string>

#include "catalogue/generator/atlas/families.hpp"
#include "catalogue/generator/atlas/family_shapes.hpp"

namespace kinetrope_tablegen::atlas {

namespace {

// euclid_k_n: k onsets of n eighth notes; the first onset is the accent.
AuthoredPattern euclid(int k, int n) {
    const int period = eighth_note * n;
    std::vector<Pulse> pulses;
    int j = 0;
    for (int step : euclidean_onsets(k, n)) {
        const double s = j == 0 ? 1.0 : 0.75;
        pulses.push_back({double(eighth_note * step), {alternating(j) * 0.75 * s, -0.32 * s, 0.0}, 24.0});
        ++j;
    }
    const int kn[] = {k, n};
    return make_pattern("euclid_" + underscored(kn), period, 2,
                        "Evenly distributed accents with alternating sides; first onset is the phrase accent.",
                        pulse_score(period, pulses));
}

// poly_a_b: a left-lane events against b right-lane events in eight beats.
AuthoredPattern poly(int a, int b) {
    std::vector<Pulse> pulses;
    const auto lane = [&pulses](int count, Offset3 vector) {
        for (int j = 0; j < count; ++j)
            pulses.push_back({j * 512.0 / count, j == 0 ? vector : scaled(vector, 0.65), 22.4});
    };
    lane(a, {-0.62, -0.26, 0.0});
    lane(b, {0.62, -0.26, 0.22});
    const int ab[] = {a, b};
    return make_pattern("poly_" + underscored(ab), eight_beats, 3,
                        "Two independent pulse trains share an eight-beat boundary. Each right-lane gesture includes "
                        "depth.",
                        pulse_score(eight_beats, pulses));
}

// meter_g1_g2...: groups of eighth notes; group starts lean alternately, the
// other eighth notes are quiet ticks with a little depth.
AuthoredPattern meter(const std::vector<int>& groups) {
    std::vector<Pulse> pulses;
    int eighth = 0;
    for (std::size_t j = 0; j < groups.size(); ++j) {
        pulses.push_back({double(eighth_note * eighth), {alternating(int(j)) * 0.72, -0.33, 0.0}, 19.2});
        for (int i = 1; i < groups[j]; ++i)
            pulses.push_back({double(eighth_note * (eighth + i)), {0.0, -0.1134, 0.0504}, 32.0 / 3.0});
        eighth += groups[j];
    }
    return make_pattern("meter_" + underscored(groups), eighth_note * eighth, 3,
                        "Group starts lean alternately left and right; quieter subdivisions mark the eighth-note grid.",
                        pulse_score(eighth_note * eighth, pulses));
}

enum class SwingKind { push, answer, skip, shuffle };

// swing_<kind>_a_b: eight beats with offbeats at a/b of each beat.
Table swing_score(SwingKind kind, int a, int b) {
    const double off = 64.0 * (double(a) / double(b));
    std::vector<Pulse> pulses;
    for (int beat = 0; beat < 8; ++beat) {
        const double s = alternating(beat);
        const double on = 64.0 * beat;
        const bool downbeat = beat == 0 || beat == 4;
        const bool skipped = kind == SwingKind::skip && (beat == 2 || beat == 6);
        if (!skipped)
            pulses.push_back({on, downbeat ? Offset3{0.585, -0.216, 0.0} : Offset3{s * 0.4225, -0.156, 0.0}, 12.8});
        if (kind == SwingKind::push || kind == SwingKind::skip) pulses.push_back({on + off, {0.075, -0.15, 0.09}, 8.0});
        if ((kind == SwingKind::answer && beat >= 4) || kind == SwingKind::shuffle)
            pulses.push_back({on + off, {-s * 0.325, -0.12, 0.0}, 12.8});
        if (kind == SwingKind::shuffle && (beat == 3 || beat == 7))
            pulses.push_back({on + off / 2.0, {0.0525, -0.105, 0.063}, 6.4});
    }
    return pulse_score(eight_beats, pulses);
}

void add_swing(Rows& rows) {
    const struct {
        SwingKind kind;
        const char* word;
    } kinds[] = {{SwingKind::push, "push"},
                 {SwingKind::answer, "answer"},
                 {SwingKind::skip, "skip"},
                 {SwingKind::shuffle, "shuffle"}};
    const int ratios[][2] = {{3, 5}, {2, 3}, {5, 7}, {3, 4}};
    for (const auto& ratio : ratios) {
        for (const auto& kind : kinds) {
            const std::string a = std::to_string(ratio[0]), b = std::to_string(ratio[1]);
            rows.push_back(make_pattern("swing_" + std::string(kind.word) + "_" + a + "_" + b, eight_beats,
                                        kind.kind == SwingKind::answer ? 2 : 3,
                                        "Eight-beat " + std::string(kind.word) + " score with offbeats at " + a + "/" +
                                            b + " of each beat; peaks follow the score.",
                                        swing_score(kind.kind, ratio[0], ratio[1])));
        }
    }
}

// stick_study_NN: the sticking on eighth notes, then the same with hands swapped.
Table stick_study(std::string_view sticking) {
    std::vector<Pulse> pulses;
    for (int j = 0; j < 16; ++j) {
        const bool right = (sticking[j % 8] == 'R') == (j < 8);
        const double side = right ? 1.0 : -1.0;
        const bool accent = j % 4 == 0;
        pulses.push_back(
            {32.0 * j, accent ? Offset3{side * 0.74, -0.34, 0.0} : Offset3{side * 0.407, -0.187, 0.0}, 12.0});
    }
    return pulse_score(eight_beats, pulses);
}

void add_stick_studies(Rows& rows) {
    const char* stickings[] = {"RLRRLRLL", "RRLRLLRL", "RLLRLRRL", "RRLLRLRL", "RLRLRRLL", "RRRLLLRL",
                               "RLLLRRRL", "RRLRRLLL", "RLRRLLRL", "RRLLRLLR", "RLRLLRRL", "RRRLRLLL",
                               "RRRRLRLL", "RRLLLRRL", "RLRRRLLL", "RRLRLLLR"};
    for (int j = 1; j <= 16; ++j) {
        const char* sticking = stickings[j - 1];
        rows.push_back(make_pattern("stick_study_" + two_digits(j), eight_beats, 2,
                                    "Original R/L movement study with accented group leads, followed by its "
                                    "hand-swapped answer. Not an official rudiment transcription.",
                                    stick_study(sticking)));
    }
}

}  // namespace

void add_rhythms(Rows& rows) {
    const int euclids[][2] = {{2, 5},  {3, 7},  {3, 10}, {4, 9},  {4, 11}, {5, 9},  {5, 11}, {5, 13},
                              {5, 14}, {6, 13}, {7, 12}, {7, 15}, {7, 17}, {8, 19}, {9, 20}, {11, 24}};
    for (const auto& kn : euclids) rows.push_back(euclid(kn[0], kn[1]));
    const int polys[][2] = {{2, 5}, {2, 7}, {2, 9}, {3, 5}, {3, 7}, {3, 8}, {3, 10}, {4, 5},
                            {4, 7}, {4, 9}, {5, 6}, {5, 7}, {5, 8}, {5, 9}, {6, 7},  {7, 8}};
    for (const auto& ab : polys) rows.push_back(poly(ab[0], ab[1]));
    const std::vector<std::vector<int>> meters{
        {2, 3},       {3, 2},       {3, 2, 2},       {2, 3, 2},    {3, 4},    {4, 3},    {2, 2, 2, 3},    {2, 3, 2, 2},
        {3, 2, 3, 2}, {3, 3, 2, 3}, {2, 2, 3, 2, 3}, {3, 3, 3, 2}, {4, 3, 3}, {3, 4, 4}, {2, 3, 3, 2, 3}, {3, 3, 3, 4}};
    for (const auto& groups : meters) rows.push_back(meter(groups));
    add_swing(rows);
    add_stick_studies(rows);
}

}  // namespace kinetrope_tablegen::atlas
