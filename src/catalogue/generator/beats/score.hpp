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
    double pip;       // onset; off-grid events fall between pips
    double velocity;  // 0 < velocity <= 1
};

struct Score {
    int period;
    std::vector<DrumEvent> events;  // sorted by onset
};

// Reads `<stem>.groove`: `bars N`, then one line per voice, either a grid of
// one character per sixteenth ('.' rest, '1' to '9' velocity in ninths, '|'
// ignored) or '@' followed by off-grid events written `pip:velocity`, where
// the pip may be a fraction such as 256/3.
Score read_score(const std::filesystem::path& file);

// How long a voice's gesture rises before its onset and falls after it.
struct Gesture {
    double rise;
    double fall;
};

Gesture voice_gesture(Voice voice);

// The asymmetric raised cosine: cos²(pi·d/2r) on (-r, 0], cos²(pi·d/2f) on (0, f).
double gesture_weight(double distance, Gesture gesture);

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

// Per-pip sums of velocity times gesture for a set of voices: `level` adds
// every event, `swing` alternates the sign from one onset group to the next
// (events within a pip of each other are one group, so a clap on a kick
// leans with it instead of cancelling it).
struct Lane {
    std::vector<double> level;
    std::vector<double> swing;
};

// Every event uses its voice's own gesture unless `gesture` overrides it;
// `delay` shifts every onset later.
Lane make_lane(const Score& score, Voices voices, const Gesture* gesture = nullptr, double delay = 0.0);

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
