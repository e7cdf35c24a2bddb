// The eight rhythmic families of the continuum collection, each a phrase of
// gestures from the shared vocabulary laid on a musical grid.

#include <array>
#include <cmath>
#include <string>

#include "catalogue/generator/shared/authoring.hpp"
#include "catalogue/generator/continuum/families.hpp"
#include "catalogue/generator/continuum/gesture_phrase.hpp"

namespace kinetrope_tablegen::continuum {

namespace {

using enum GestureType;

constexpr int eight_beats = 512;
constexpr int sixteen_beats = 1024;
constexpr double eighth = 32.0;
constexpr double triplet_step = 64.0 / 3.0;

AuthoredPattern phrase_pattern(std::string name, int period, const char* description, const Phrase& phrase) {
    return make_pattern(std::move(name), period, 3, description, render_phrase(period, phrase));
}

std::string joined(std::initializer_list<int> numbers) {
    std::string text;
    for (int n : numbers) text += (text.empty() ? "" : "_") + std::to_string(n);
    return text;
}

std::string two_digits(int n) { return (n < 10 ? "0" : "") + std::to_string(n); }

// Canon: a four-gesture motif stated laterally, passed to the depth lane two
// beats later (a quarter beat later still for `late`), then in the second
// half stated in depth and answered laterally, reversed and ending low.
struct CanonVariant {
    const char* suffix;
    double lead_weight;  // the opening left gesture
    double pass_delay;   // pips from the lateral statement to the depth answer
    double final_down;   // the altered ending of the lateral answer
};

GestureType mirrored(GestureType type) { return type == left ? right : left; }

// A motif: four onsets at rational beat positions and the lateral types of
// its last two gestures (the first two are always left, right).
struct CanonMotif {
    std::array<double, 4> onsets;
    GestureType third, fourth;
};

Phrase canon_phrase(const CanonMotif& motif, const CanonVariant& variant) {
    constexpr double width = 16.0;
    const std::array<GestureType, 4> statement{left, right, motif.third, motif.fourth};
    const std::array<double, 4> lateral_weights{variant.lead_weight, 0.8655, 0.62, 0.7};
    const std::array<double, 4> depth_weights{0.6, 0.45, 0.5, 0.4};
    const std::array<GestureType, 4> answer{mirrored(statement[0]), mirrored(statement[1]), mirrored(statement[2]),
                                            down};
    const std::array<double, 4> answer_weights{0.6, 0.62, 0.5, variant.final_down};
    Phrase phrase;
    for (int i = 0; i < 4; ++i) {
        const double onset = motif.onsets[i];
        phrase.push_back({onset, statement[i], lateral_weights[i], width});
        phrase.push_back({variant.pass_delay + onset, depth, depth_weights[i], width});
        phrase.push_back({256.0 + onset, depth, depth_weights[i], width});
        phrase.push_back({256.0 + variant.pass_delay + onset, answer[i], answer_weights[i], width});
    }
    phrase.push_back({256.0, down, 0.55, width});  // the second half opens with a low depth accent
    return phrase;
}

}  // namespace

Family canons() {
    constexpr double t = triplet_step;
    // Onsets in pips at rational beat positions (thirds, halves, sixths).
    const std::array<CanonMotif, 8> motifs{{
        {{0, 32, 64, 96}, left, right},
        {{0, 2 * t, 3 * t, 96}, right, left},
        {{0, t, 3 * t, 4 * t}, right, right},
        {{0, 32, 2.5 * t, 96}, left, left},
        {{0, t, 2.5 * t, 96}, right, left},
        {{0, t, 2 * t, 96}, left, right},
        {{0, 32, 3.5 * t, 96}, right, right},
        {{0, 2.5 * t, 3.5 * t, 96}, left, left},
    }};
    const std::array<CanonVariant, 2> variants{{{"close", 0.9, 128.0, 0.8}, {"late", 0.8, 144.0, 0.971875}}};
    Family family;
    for (std::size_t n = 0; n < motifs.size(); ++n)
        for (const CanonVariant& variant : variants)
            family.push_back(phrase_pattern(
                "canon_" + two_digits(int(n) + 1) + "_" + variant.suffix, eight_beats,
                "A rational-beat motif passes between lateral and depth lanes, with an altered second-half response.",
                canon_phrase(motifs[n], variant)));
    return family;
}

namespace {

enum class EchoSpacing { regular, shrinking, expanding, crossed };

std::vector<double> echo_onsets(EchoSpacing spacing, int n) {
    std::vector<double> onsets{0.0};
    for (int j = 0; j + 1 < n; ++j) {
        double gap = eighth;
        if (spacing == EchoSpacing::shrinking) gap = eighth * (n - j) / n;
        if (spacing == EchoSpacing::expanding) gap = eighth * (j + 1) / n;
        onsets.push_back(onsets.back() + gap);
    }
    return onsets;
}

Phrase echo_phrase(EchoSpacing spacing, int n) {
    constexpr std::array<double, 6> call_weights{1, 0.83, 0.6889, 0.571787, 0.474583, 0.393904};
    constexpr std::array<double, 6> answer_weights{1, 0.688, 0.7396, 0.508845, 0.54700875, 0.376342};
    constexpr std::array<GestureType, 4> crossed_calls{left, down, right, depth};
    const double width = spacing == EchoSpacing::shrinking ? 16.0 : 24.0;
    const std::vector<double> onsets = echo_onsets(spacing, n);
    Phrase phrase;
    for (int j = 0; j < n; ++j) {
        const GestureType call = spacing == EchoSpacing::crossed ? crossed_calls[j % 4] : (j % 2 == 0 ? left : right);
        phrase.push_back({onsets[j], call, call_weights[j], width});
    }
    for (int j = 0; j < n; ++j)
        phrase.push_back({256.0 + onsets[j], j % 2 == 0 ? up : depth, answer_weights[j], width});
    return phrase;
}

}  // namespace

Family echoes() {
    const std::array<std::pair<const char*, EchoSpacing>, 4> spacings{{{"regular", EchoSpacing::regular},
                                                                       {"shrinking", EchoSpacing::shrinking},
                                                                       {"expanding", EchoSpacing::expanding},
                                                                       {"crossed", EchoSpacing::crossed}}};
    Family family;
    for (int n : {3, 4, 5, 6})
        for (const auto& [word, spacing] : spacings)
            family.push_back(phrase_pattern(
                std::string("echo_") + word + "_" + std::to_string(n), eight_beats,
                "An original decaying call and a differently directed answer; echo spacing is preserved as fractions.",
                echo_phrase(spacing, n)));
    return family;
}

Family ladders() {
    constexpr std::array<GestureType, 4> cycle{left, right, depth, down};
    constexpr std::array<double, 3> later_weights{0.68, 0.76, 0.6};
    const std::array<std::array<int, 4>, 16> densities{{{2, 3, 4, 6},
                                                        {3, 5, 4, 2},
                                                        {2, 5, 3, 7},
                                                        {4, 3, 6, 5},
                                                        {2, 4, 7, 3},
                                                        {3, 6, 2, 5},
                                                        {5, 3, 7, 4},
                                                        {6, 4, 3, 2},
                                                        {2, 7, 4, 5},
                                                        {7, 3, 5, 2},
                                                        {4, 7, 3, 6},
                                                        {5, 2, 6, 3},
                                                        {3, 4, 5, 7},
                                                        {6, 5, 4, 3},
                                                        {7, 5, 3, 4},
                                                        {4, 6, 7, 5}}};
    Family family;
    for (const auto& d : densities) {
        Phrase phrase;
        for (int r = 0; r < 4; ++r) {
            const double width = std::fmin(24.0, 0.75 * 128.0 / d[r]);
            for (int j = 0; j < d[r]; ++j)
                phrase.push_back({128.0 * r + 128.0 * j / d[r], cycle[(r + j) % 4],
                                  j == 0 ? 1.0 : later_weights[(j - 1) % 3], width});
        }
        family.push_back(phrase_pattern("ladder_" + joined({d[0], d[1], d[2], d[3]}), eight_beats,
                                        "Four two-beat regions change subdivision density while accents mark region "
                                        "starts.",
                                        phrase));
    }
    return family;
}

Family necklaces() {
    const std::array<const char*, 16> words{
        "1001011000101100", "1010001101010010", "1100100100011010", "1011010001001001",
        "1000110101100010", "1101000100101010", "1010010011100010", "1110001001010010",
        "1001100010100101", "1100010100100110", "1010100011001001", "1001001111010010",
        "1100101000101001", "1011000100010110", "1001010010011100", "1110010001010100",
    };
    Family family;
    for (int n = 0; n < 16; ++n) {
        const std::string word = words[n];
        Phrase phrase;
        for (int j = 0; j < 16; ++j) {
            const bool accent = word[j] == '1';
            phrase.push_back({eighth * j, accent ? left : right, accent ? 0.8 : 0.35, 64.0 / 3.0});
            if (accent && word[(j + 15) % 16] == '0') phrase.push_back({eighth * j + 32.0 / 3.0, depth, 0.5, 16.0});
        }
        family.push_back(phrase_pattern(
            "necklace_" + two_digits(n + 1), eight_beats,
            "A hand-authored binary accent word; its complement moves the other side and rising accents add depth.",
            phrase));
    }
    return family;
}

Family accent_walks() {
    const std::array<std::pair<int, int>, 16> rows{{{5, 1},
                                                    {5, 2},
                                                    {7, 1},
                                                    {7, 2},
                                                    {7, 3},
                                                    {8, 1},
                                                    {8, 3},
                                                    {9, 1},
                                                    {9, 2},
                                                    {9, 4},
                                                    {10, 3},
                                                    {11, 2},
                                                    {11, 3},
                                                    {12, 5},
                                                    {13, 3},
                                                    {13, 5}}};
    Family family;
    for (const auto& [m, s] : rows) {
        const double width = std::fmin(24.0, 0.75 * 256.0 / m);
        Phrase phrase;
        for (int b = 0; b < 4; ++b) {
            for (int i = 0; i < m; ++i) {
                const double onset = 256.0 * b + 256.0 * i / m;
                const bool accent = i == b * s % m || i == (2 + b * s) % m;
                phrase.push_back({onset, (b + i) % 2 == 0 ? left : right, accent ? 0.95 : 0.4, width});
                if (accent) phrase.push_back({onset, depth, 0.48, 64.0 / 3.0});
            }
        }
        family.push_back(phrase_pattern(
            "accent_walk_" + joined({m, s}), sixteen_beats,
            "A four-bar grid keeps its pulse spacing while a two-accent motif migrates between bars.", phrase));
    }
    return family;
}

namespace {

GestureType triplet_type(char step) { return step == 'L' ? left : step == 'R' ? right : depth; }

// One four-beat half of a triplet study starting at `start`; omitted steps
// are answered by a down gesture a triplet sixteenth later when asked.
void add_triplet_half(Phrase& phrase, const std::string& word, double start, bool answer_omissions) {
    for (int step = 0; step < 12; ++step) {
        const double onset = start + step * triplet_step;
        if (word[step] != '.') {
            phrase.push_back({onset, triplet_type(word[step]), step % 6 == 0 ? 0.95 : 0.65, 16.0});
        } else if (answer_omissions) {
            phrase.push_back({onset + 32.0 / 3.0, down, 0.6, 16.0});
        }
    }
}

}  // namespace

Family triplet_studies() {
    const std::array<const char*, 8> words{"L.RLD.L.R..R", "LD.L.R.DR.D.", "LDR.D.L..LD.", "L.R.DRLD...R",
                                           "LD.LD..D..DR", "L..LDR.DRL..", "LDR..R.D.L.R", "L.RL.R..RLD."};
    const char* description =
        "Triplet-grid gestures with deliberate omissions; gaps either answer off-grid or rotate after four beats.";
    Family family;
    for (int n = 0; n < 8; ++n) {
        const std::string word = words[n];
        Phrase answer;
        add_triplet_half(answer, word, 0.0, true);
        add_triplet_half(answer, word, 256.0, true);
        Phrase turnaround;
        add_triplet_half(turnaround, word, 0.0, false);
        add_triplet_half(turnaround, word.substr(3) + word.substr(0, 3), 256.0, false);
        family.push_back(phrase_pattern("triplet_" + two_digits(n + 1) + "_answer", eight_beats, description, answer));
        family.push_back(
            phrase_pattern("triplet_" + two_digits(n + 1) + "_turnaround", eight_beats, description, turnaround));
    }
    return family;
}

Family dialogues() {
    const std::array<std::vector<int>, 16> groupings{{{3, 4, 5},
                                                      {5, 3, 4},
                                                      {3, 5, 2},
                                                      {2, 5, 4},
                                                      {4, 3, 2},
                                                      {3, 2, 4, 5},
                                                      {5, 2, 3, 4},
                                                      {2, 3, 5, 3},
                                                      {3, 4, 3, 5},
                                                      {5, 4, 2, 3},
                                                      {2, 4, 5, 2},
                                                      {4, 5, 3, 2},
                                                      {3, 5, 4, 3},
                                                      {5, 3, 2, 5},
                                                      {2, 5, 3, 5},
                                                      {4, 3, 5, 4}}};
    constexpr std::array<GestureType, 4> voices{left, right, down, depth};
    Family family;
    for (const std::vector<int>& groups : groupings) {
        Phrase phrase;
        std::string name = "dialogue";
        int eighths = 0;
        for (std::size_t k = 0; k < groups.size(); ++k) {
            for (int i = 0; i < groups[k]; ++i)
                phrase.push_back({eighth * (eighths + i), voices[k], i == 0 ? 1.0 : 0.55, 24.0});
            eighths += groups[k];
            phrase.push_back({eighth * eighths - 16.0, up, 0.5625, 16.0});  // the late pickup
            name += "_" + std::to_string(groups[k]);
        }
        family.push_back(phrase_pattern(
            name, 32 * eighths,
            "Different eighth-note group lengths pass a phrase between directions, with late pickup responses.",
            phrase));
    }
    return family;
}

Family bursts() {
    const std::array<std::array<int, 3>, 16> counts{{{3, 5, 2},
                                                     {4, 3, 6},
                                                     {5, 2, 4},
                                                     {2, 7, 3},
                                                     {3, 4, 5},
                                                     {5, 3, 7},
                                                     {6, 2, 5},
                                                     {4, 7, 2},
                                                     {7, 3, 4},
                                                     {2, 5, 6},
                                                     {5, 7, 3},
                                                     {3, 6, 4},
                                                     {4, 5, 7},
                                                     {6, 3, 5},
                                                     {7, 4, 3},
                                                     {5, 6, 2}}};
    constexpr std::array<GestureType, 3> directions{left, down, right};
    Family family;
    for (const auto& c : counts) {
        Phrase phrase;
        for (int burst = 0; burst < 3; ++burst) {
            for (int j = 0; j < c[burst]; ++j) {
                const double onset = 160.0 * burst + j * 96.0 / c[burst];
                const double weight = std::round((0.9 - 0.25 * j / (c[burst] - 1)) * 1e6) / 1e6;
                phrase.push_back({onset, directions[burst], weight, 12.8});
                if (j % 2 == 0) phrase.push_back({onset + 32.0 / 3.0, depth, 0.42, 12.8});
            }
        }
        phrase.push_back({496.0, up, 1.0, 64.0 / 3.0});  // the late settling accent
        family.push_back(phrase_pattern(
            "burst_" + joined({c[0], c[1], c[2]}), eight_beats,
            "Three unevenly subdivided directional bursts, deliberate gaps and a late settling accent.", phrase));
    }
    return family;
}

}  // namespace kinetrope_tablegen::continuum
