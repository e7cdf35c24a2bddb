#pragma once

#include <array>
#include <cmath>
#include <initializer_list>
#include <vector>

#include "kinetrope/grooves.hpp"

// The engine's insides, shared by the run-time renderer and the table
// generator, which builds the club and dancefloor tables with it.
namespace kinetrope::grooves::engine {

using Table = std::vector<Offset3>;

inline constexpr double pi = 3.141592653589793;

double phase_angle(double pip, int period);
double smootherstep(double u);
// Signed distance from `pip` to `onset` around the loop, in (-N/2, N/2].
double loop_distance(double pip, double onset, int period);

// How long a voice's gesture rises before its onset and falls after it.
struct Gesture {
    double rise;
    double fall;
};

Gesture voice_gesture(Voice voice);

// The asymmetric raised cosine: cos²(pi·d/2r) on (-r, 0], cos²(pi·d/2f) on (0, f).
double gesture_weight(double distance, Gesture gesture);

// A sustained note's weight: it rises like a struck one and holds at 1 for
// its length, or swells from 0 to 1 over its length; then it falls.
double sustained_weight(double distance, Gesture gesture, const DrumEvent& note);

// What a motion listens to: a set of voices. The groupings below are the
// score's roles.
using Voices = std::initializer_list<Voice>;
inline constexpr Voices kicks{Voice::kick};
inline constexpr Voices backbeats{Voice::snare, Voice::clap, Voice::rim};
inline constexpr Voices hats{Voice::hat, Voice::open_hat, Voice::shaker};
inline constexpr Voices percussion{Voice::tom, Voice::perc, Voice::bell};
inline constexpr Voices bass{Voice::bass};
// Voices that give a groove's bounce and step their depth axis.
inline constexpr Voices depth_voices{Voice::bass, Voice::ride, Voice::crash};

std::vector<DrumEvent> events_of(const DrumPart& part, Voices voices);
bool has_voice(const DrumPart& part, Voices voices);

// A main hit is played at half loudness or more; anything quieter is a
// ghost or a detail.
inline bool is_main(const DrumEvent& event) { return event.velocity >= 0.5; }

// The side (+1 or -1) each event throws to: main hits take the sides in
// turn, the first to +1 (hits within a pip of each other are one group, so a
// clap on a kick leans with it instead of cancelling it); a quieter event
// leans with the last main hit, before the first one with the loop's last,
// so ghosts never decide a main hit's side. Events with none that count
// alternate on every group.
using EventTest = bool (*)(const DrumEvent&);
std::vector<double> alternating_sides(const std::vector<DrumEvent>& events, EventTest counts = is_main);

// Per-pip sums of velocity times gesture for a set of voices: `level` adds
// every event, `swing` gives each its side from alternating_sides.
struct Lane {
    std::vector<double> level;
    std::vector<double> swing;
};

// Every event uses its voice's own gesture unless `gesture` overrides it;
// `delay` shifts every onset later.
Lane make_lane(const DrumPart& part, Voices voices, const Gesture* gesture = nullptr, double delay = 0.0);

// Calls visit(pip, weight) for every pip that an event's gesture reaches.
template <typename Visit>
void for_each_gesture_pip(int period, double onset, Gesture gesture, Visit visit) {
    const int first = int(std::floor(onset - gesture.rise));
    const int last = int(std::ceil(onset + gesture.fall));
    for (int k = first; k <= last; ++k) {
        const int pip = ((k % period) + period) % period;
        const double weight = gesture_weight(loop_distance(pip, onset, period), gesture);
        if (weight != 0.0) visit(pip, weight);
    }
}

// The same for a note sustained for its length.
template <typename Visit>
void for_each_note_pip(int period, const DrumEvent& note, double onset, Gesture gesture, Visit visit) {
    if (note.length <= 0.0) return for_each_gesture_pip(period, onset, gesture, visit);
    const int first = int(std::floor(onset - gesture.rise));
    const int last = int(std::ceil(onset + note.length + gesture.fall));
    for (int k = first; k <= last; ++k) {
        const double weight = sustained_weight(k - onset, gesture, note);
        if (weight != 0.0) visit(((k % period) + period) % period, weight);
    }
}

// The part's voices as the motions hear them, computed once per part.
struct GrooveLanes {
    int period;
    int bars;
    int bar_pips;
    Lane kick;
    Lane backbeat;  // snares, claps and rims
    Lane accent;    // the backbeats; the kicks for a part without any
    Lane hats;
    Lane open_hats;  // they ring on: a wider swing than the closed hats
    Lane percussion;
    Lane depth;  // bass and cymbals: only parts with these get bounce and step depth
    Lane kick_and_backbeat;
    Lane arc;                          // kicks and backbeats with a long, slow gesture
    Lane plunge;                       // the low end with a long, slow gesture
    Lane echo;                         // accents a dotted sixteenth late
    Lane hat_tremor;                   // hats ringing at a fast rate
    Lane low;                          // bass notes with their own gesture
    Lane ghosts;                       // backbeats under half loudness: taps between the main hits
    Lane footwork;                     // main kicks and backbeats, sides alternating; ghosts lean with the last foot
    std::vector<double> drive;         // every drum's energy, for the phase-warped motions
    std::vector<DrumEvent> onsets;     // drums and bass, for the motions that step through events
    std::vector<DrumEvent> all_hits;   // every event
    bool deep;                         // has bass or cymbals: bounce and step move in depth
    std::vector<Voice> accent_voices;  // the voices of `accent`
};

GrooveLanes listen(const DrumPart& part);

struct AxisRange {
    double low;
    double high;
};

// The extremes a motion reaches over every built-in groove that carries it.
struct MotionRanges {
    AxisRange x, y, z;
};

using MotionRule = Table (*)(const GrooveLanes&);

struct BeatMotion {
    const char* suffix;
    const char* label;
    const char* sentence;  // used by the dancefloor rows
    MotionRule rule;
    MotionRanges ranges;
};

// The four club motions first, then the twelve dancefloor ones.
const std::vector<BeatMotion>& beat_motions();
inline constexpr int club_motion_count = 4;
inline constexpr int motion_count = 16;

// The smooth map v -> c1·v + c2·v² that keeps 0 at 0 and takes a motion's
// raw ends over the built-in grooves, low and high, to its target ends.
struct AxisMap {
    double c1;
    double c2;
    double low = 0.0;
    double high = 0.0;
    double operator()(double v) const { return c1 * v + c2 * v * v; }
    // Past the built-in grooves' reach the parabola could turn back, so it
    // goes on as its tangent line there: still increasing, still smooth.
    double extended(double v) const {
        if (v > high) return (*this)(high) + (c1 + 2.0 * c2 * high) * (v - high);
        if (v < low) return (*this)(low) + (c1 + 2.0 * c2 * low) * (v - low);
        return (*this)(v);
    }
};

using MotionFit = std::array<AxisMap, 3>;  // x, y, z

// Maps one motion's tables so that, over all of them, each axis reaches
// exactly its target ends. Each axis goes through one smooth increasing map
// that keeps 0 at 0 (a straight scale, bent just enough when the two ends
// need different factors): an axis that never moves stays still, y that
// never dips stays at or above 0, and smooth tables stay smooth. The `fixed`
// tables are left as they are but must stay within the targets. Returns the
// maps, which parts of users' own go through too.
MotionFit fit_motion_ranges(const std::vector<Table*>& fitted, const std::vector<const Table*>& fixed,
                            const MotionRanges& targets, const char* motion);

// The maps the table generator found for the built-in grooves, in motion
// order (a generated source).
extern const std::array<MotionFit, motion_count> builtin_fits;

// As the catalogue stores its tables: 12 decimals, never a negative zero.
double round_to_12_decimals(double value);

}  // namespace kinetrope::grooves::engine
