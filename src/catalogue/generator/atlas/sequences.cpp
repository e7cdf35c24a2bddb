// Atlas seq family: x steps through eight target positions with softened
// transitions while y makes one slow up-and-down arc per loop. `even` rows
// change target every 64 pips; their `lilt` twins visit the same targets on
// a long-short timing, so they start alike and share the x range.

#include <array>
#include <cmath>
#include <string>

#include "catalogue/generator/atlas/families.hpp"
#include "catalogue/generator/atlas/family_shapes.hpp"

namespace kinetrope_tablegen::atlas {

namespace {

using Targets = std::array<double, 8>;

struct SequenceRow {
    const char* contour;
    Targets x;
    double arc;  // height of the y arc
};

// The pendulum, octave, ratchet and stairs rows are the exact keyframe
// tracks; their arc is 0.287, their lilt twins' 0.29.
const SequenceRow sequence_rows[] = {
    {"up_down", {-0.82, -0.41, 0, 0.41, 0.82, 0.41, 0, -0.41}, 0.25},
    {"pendulum", {0, 0.82, 0, -0.82, 0, 0.41, 0, -0.41}, 0.287},
    {"octave", {0, 0.82, 0.205, 0.66625, -0.205, -0.82, -0.41, -0.66625}, 0.287},
    {"unequal", {0, 0.55, 0.15, 0.82, -0.25, -0.82, -0.35, 0.3}, 0.25},
    {"question", {0, -0.2, 0.1, -0.3, 0.2, 0.05, 0.45, 0.82}, 0.25},
    {"answer", {0.41, 0.82, 0.6, 0.3, 0.45, 0, -0.41, -0.82}, 0.25},
    {"ratchet", {0, 0.3075, 0, 0.615, 0, 0.82, 0, -0.3075}, 0.287},
    {"stairs", {-0.82, -0.41, 0, 0.41, 0.82, 0.82, 0, -0.82}, 0.287},
};

constexpr std::array<double, 8> even_pips{0, 64, 128, 192, 256, 320, 384, 448};
// Long-short pairs close to two to one, kept on whole pips so every target is sampled.
constexpr std::array<double, 8> lilt_pips{0, 86, 128, 214, 256, 342, 384, 470};

// The exact rows' arc, at the even pips, is rounded only when stored.
double arc_height(double arc, int j) { return arc * std::sin(2.0 * pi * j / 8.0); }

Table sequence(const Targets& x, double arc, const std::array<double, 8>& pips) {
    std::vector<Keyframe> x_keys, y_keys;
    for (int j = 0; j < 8; ++j) {
        x_keys.push_back({pips[j], x[j]});
        y_keys.push_back({pips[j], arc_height(arc, j)});
    }
    return normalised(keyframe_table(eight_beats, x_keys, y_keys));
}

AuthoredPattern sequence_row(const SequenceRow& row, const char* timing) {
    const bool lilt = std::string_view(timing) == "lilt";
    // A lilt twin of an exact row keeps its arc within 0.29 and reaches it.
    const double arc = lilt && row.arc == 0.287 ? 0.29 : row.arc;
    return make_pattern(
        "seq_" + std::string(row.contour) + "_" + timing, eight_beats, 2,
        "A programmed position sequence with " + std::string(timing) + " segment durations and softened transitions.",
        sequence(row.x, arc, lilt ? lilt_pips : even_pips));
}

}  // namespace

void add_sequences(Rows& rows) {
    for (const SequenceRow& row : sequence_rows) {
        rows.push_back(sequence_row(row, "even"));
        rows.push_back(sequence_row(row, "lilt"));
    }
}

}  // namespace kinetrope_tablegen::atlas
