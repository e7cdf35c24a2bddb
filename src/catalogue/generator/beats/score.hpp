#pragma once

#include <cmath>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "catalogue/generator/shared/shapes.hpp"

// Drum scores of the beat grooves and the gesture every drum event makes.
namespace kinetrope_tablegen {

inline constexpr int pips_per_sixteenth = 16;
inline constexpr int pips_per_bar = 256;

enum class Voice { kick, snare, clap, rim, hat, open_hat, shaker, tom, perc, bell, bass, ride, crash };

struct DrumEvent {
    Voice voice;
    double pip;           // onset; off-grid events fall between pips
    double velocity;      // 0 < velocity <= 1
    double length = 0.0;  // pips a sustained note lasts; 0 for a struck one
    bool swell = false;   // a sustained note that grows through its length
};

struct Score {
    int period;
    std::vector<DrumEvent> events;  // sorted by onset
};

// Reads `<stem>.groove`: `bars N`, then one line per voice, either a grid of
// one character per sixteenth ('.' rest, '1' to '9' velocity in ninths, '|'
// ignored) or '@' followed by events written `pip:velocity`, where the pip
// may be a fraction such as 256/3. A sustained note adds its length:
// `pip:velocity~length` holds (a long or sliding bass), `pip:velocity<length`
// swells up to its end (a reverse bass).
Score read_score(const std::filesystem::path& file);

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

std::vector<DrumEvent> events_of(const Score& score, Voices voices);
bool has_voice(const Score& score, Voices voices);

// A main hit is played at half loudness or more; anything quieter is a
// ghost or a detail.
inline bool is_main(const DrumEvent& event) { return event.velocity >= 0.5; }

// The side (+1 or -1) each event throws to: main hits take the sides in
// turn, the first to +1 (hits within a pip of each other are one group, so a
// clap on a kick leans with it instead of cancelling it); a quieter event
// leans with the last main hit, before the first one with the loop's last,
// so ghosts never decide a main hit's side. Events with none that count
// alternate on every group.
// `counts` says which events take the sides in turn (the main ones).
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
Lane make_lane(const Score& score, Voices voices, const Gesture* gesture = nullptr, double delay = 0.0);

// Calls visit(pip, weight) for every pip that a note's gesture reaches,
// sustained for its length.
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

}  // namespace kinetrope_tablegen
