// The four groove traces of the initial collection: two two-bar funk drum
// excerpts, each once as played (with its microtiming) and once with the same
// hits on the sixteenth grid. Hits are authored data; one rule turns them
// into a movement trace.

#include <string>
#include <vector>

#include "catalogue/generator/shared/authoring.hpp"

namespace kinetrope_tablegen {

namespace {

constexpr int two_bars = 512;
constexpr double sixteenth = 16.0;

enum class Voice { kick, snare, ghost, hat };

// Each voice moves the point its own way: the kick lifts, the snare throws
// right and down, ghosts and hats nudge.
Pulse voice_pulse(Voice voice, double onset, double velocity) {
    switch (voice) {
        case Voice::kick:
            return {onset, scaled({0.1, 0.55, 0.0}, velocity), 14.0};
        case Voice::snare:
            return {onset, scaled({0.6, -0.3, 0.0}, velocity), 12.0};
        case Voice::ghost:
            return {onset, scaled({0.18, -0.1, 0.0}, velocity), 6.0};
        case Voice::hat:
            return {onset, scaled({-0.12, 0.06, 0.0}, velocity), 5.0};
    }
    return {};
}

struct Hit {
    Voice voice;
    int step;  // sixteenth of the two bars, 0 to 31
    double velocity;
    double late_pips;  // the performance's deviation from the grid
};

struct Excerpt {
    const char* letter;
    const char* source_beats;
    double x_low, x_high, y_low, y_high;
    std::vector<Hit> hits;
};

std::vector<Hit> with_eighth_hats(std::vector<Hit> hits, const std::vector<double>& late) {
    for (int i = 0; i < 16; ++i) hits.push_back({Voice::hat, 2 * i, i % 2 == 0 ? 0.8 : 0.55, late[i % late.size()]});
    return hits;
}

const std::vector<Excerpt> excerpts{
    {"a", "4\u201312", -0.22, 0.67, -0.31, 0.49,
     with_eighth_hats({{Voice::kick, 0, 1.0, -1.5},
                       {Voice::kick, 6, 0.8, 0.5},
                       {Voice::kick, 10, 0.9, -1.0},
                       {Voice::snare, 4, 1.0, 3.0},
                       {Voice::ghost, 7, 0.6, 2.0},
                       {Voice::ghost, 9, 0.5, -0.5},
                       {Voice::snare, 12, 1.0, 2.5},
                       {Voice::ghost, 15, 0.6, 1.5},
                       {Voice::kick, 16, 1.0, -2.0},
                       {Voice::kick, 19, 0.7, 1.0},
                       {Voice::snare, 20, 1.0, 3.5},
                       {Voice::ghost, 23, 0.5, 2.0},
                       {Voice::kick, 26, 0.85, -0.5},
                       {Voice::snare, 28, 1.0, 2.0},
                       {Voice::ghost, 30, 0.55, 1.0}},
                      {-1.0, 0.5, 2.5, -0.5})},
    {"b", "36\u201344", -0.31, 1.0, -0.43, 0.42,
     with_eighth_hats({{Voice::kick, 0, 1.0, -1.0},
                       {Voice::kick, 3, 0.75, 1.5},
                       {Voice::snare, 4, 1.0, 4.0},
                       {Voice::ghost, 6, 0.5, 1.0},
                       {Voice::kick, 8, 0.9, -2.0},
                       {Voice::kick, 11, 0.8, 0.5},
                       {Voice::snare, 12, 1.0, 3.0},
                       {Voice::ghost, 14, 0.6, 2.5},
                       {Voice::kick, 16, 1.0, -1.5},
                       {Voice::snare, 20, 1.0, 3.5},
                       {Voice::ghost, 22, 0.55, 0.5},
                       {Voice::kick, 24, 0.9, -1.0},
                       {Voice::kick, 27, 0.7, 2.0},
                       {Voice::snare, 28, 1.0, 4.5},
                       {Voice::ghost, 31, 0.6, -1.0}},
                      {-0.5, 1.5, 0.0, 3.0})},
};

Table groove_trace(const Excerpt& excerpt, bool played) {
    std::vector<Pulse> pulses;
    for (const Hit& hit : excerpt.hits)
        pulses.push_back(voice_pulse(hit.voice, hit.step * sixteenth + (played ? hit.late_pips : 0.0), hit.velocity));
    Table table = pulse_score(two_bars, pulses);
    fit_axis(table, &Offset3::x, excerpt.x_low, excerpt.x_high);
    fit_axis(table, &Offset3::y, excerpt.y_low, excerpt.y_high);
    return table;
}

AuthoredPattern groove_pattern(const Excerpt& excerpt, bool played) {
    const std::string name = std::string("groove_") + excerpt.letter + (played ? "_played" : "_grid");
    const std::string letter(1, char(excerpt.letter[0] - 'a' + 'A'));
    const std::string timing = played ? "performed microtiming." : "same hits quantised to sixteenths.";
    return make_pattern(name, two_bars, 2,
                        "Two-bar funk excerpt " + letter + " (" + excerpt.source_beats + " source beats), " + timing,
                        groove_trace(excerpt, played));
}

}  // namespace

std::vector<AuthoredPattern> author_grooves() {
    std::vector<AuthoredPattern> grooves;
    for (const Excerpt& excerpt : excerpts) {
        grooves.push_back(groove_pattern(excerpt, true));
        grooves.push_back(groove_pattern(excerpt, false));
    }
    return grooves;
}

}  // namespace kinetrope_tablegen
