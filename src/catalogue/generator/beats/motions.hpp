#pragma once

#include <string>
#include <vector>

#include "catalogue/generator/beats/score.hpp"

// The sixteen motions that turn a drum score into movement. Each is one rule,
// the same for every groove; a shared range fit then scales the raw tables.
namespace kinetrope_tablegen {

// The score's voices as the motions hear them, computed once per groove.
struct GrooveLanes {
    int period;
    int bars;
    Lane kick;
    Lane backbeat;  // snares, claps and rims
    Lane accent;    // the backbeats; the kicks for a groove without any
    Lane hats;
    Lane open_hats;  // they ring on: a wider swing than the closed hats
    Lane percussion;
    Lane depth;  // bass and cymbals: only grooves with these get bounce and step depth
    Lane kick_and_backbeat;
    Lane arc;                         // kicks and backbeats with a long, slow gesture
    Lane plunge;                      // the low end with a long, slow gesture
    Lane echo;                        // accents a dotted sixteenth late
    Lane hat_tremor;                  // hats ringing at a fast rate
    Lane low;                         // bass notes with their own gesture
    Lane ghosts;                      // backbeats under half loudness: taps between the main hits
    Lane footwork;                    // main kicks and backbeats, sides alternating; ghosts lean with the last foot
    std::vector<double> drive;        // every drum's energy, for the phase-warped motions
    std::vector<DrumEvent> onsets;    // drums and bass, for the motions that step through events
    std::vector<DrumEvent> all_hits;  // every event
    bool deep;                        // has bass or cymbals: bounce and step move in depth
    std::vector<Voice> accent_voices;  // the voices of `accent`
};

GrooveLanes listen(const Score& score);

struct AxisRange {
    double low;
    double high;
};

// The extremes a motion reaches over every groove that carries it.
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

}  // namespace kinetrope_tablegen
