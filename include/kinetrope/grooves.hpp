#pragma once

#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "kinetrope/export.hpp"
#include "kinetrope/pip.hpp"

// Drum parts into movement: the sixteen motions that move the built-in beat
// grooves, for any part in any meter, computed when the host runs.
namespace kinetrope::grooves {

enum class Voice { kick, snare, clap, rim, hat, open_hat, shaker, tom, perc, bell, bass, ride, crash };
inline constexpr int voice_count = 13;

// Score names: "kick" ... "open" (the open hat) ... "crash".
KINETROPE_API std::string_view voice_name(Voice voice);
KINETROPE_API std::optional<Voice> voice_named(std::string_view name);

struct DrumEvent {
    Voice voice;
    double pip;           // onset from the start of the part; may fall between pips
    double velocity;      // 0 < velocity <= 1; at least 0.5 is a main hit
    double length = 0.0;  // pips a sustained note lasts; 0 for a struck one
    bool swell = false;   // a sustained note that grows through its length

    friend bool operator==(const DrumEvent&, const DrumEvent&) = default;
};

// What a part may hold. A bar lasts beats * 256 / unit pips (a quarter note
// is 64), from 16 to 8192.
inline constexpr int max_bars = 1024;
inline constexpr int max_events = 65536;
inline constexpr int max_period = 262144;  // 1024 bars of 4/4
inline constexpr int max_beats_per_bar = 32;
inline constexpr std::size_t max_score_chars = std::size_t(1) << 22;

struct DrumPart {
    int bars = 1;
    int beats_per_bar = 4;
    int beat_unit = 4;
    std::vector<DrumEvent> events;  // by onset; events at one pip in the order they came

    int bar_pips() const { return beats_per_bar * (256 / beat_unit); }
    int period() const { return bars * bar_pips(); }
    friend bool operator==(const DrumPart&, const DrumPart&) = default;
};

// Every refusal: one line, which names the score line or event at fault.
class KINETROPE_API PartError : public std::invalid_argument {
  public:
    using std::invalid_argument::invalid_argument;
};

// A checked part with its events in canonical order; refuses a bad meter,
// events outside the part or quieter than nothing, and parts over the limits.
KINETROPE_API DrumPart make_part(int bars, int beats_per_bar, int beat_unit, std::vector<DrumEvent> events);

// Score text: `meter B/U` (default 4/4), `bars N`, optionally `steps N` (grid
// steps a bar, default sixteenths) and `swing S` (0.5 straight to 0.75: every
// second grid step is delayed to S of its pair), then a line per voice: a
// grid of a character a step ('.' rest, '1' to '9' loudness in ninths, '|'
// and spaces ignored) or '@' and events `pip:velocity`, `pip:velocity~length`
// (held) or `pip:velocity<length` (swelling), a pip a number or a fraction
// such as 256/3, a velocity a digit (ninths) or a decimal such as 0.75. '#'
// starts a comment. Errors read "line 3: grid must have 14 steps a bar".
KINETROPE_API DrumPart parse_score(std::string_view text);

// Text parse_score reads back to an equal part: grid lines for the events on
// the sixteenth grid at a loudness in ninths, '@' lines for the rest.
KINETROPE_API std::string score_text(const DrumPart& part);

// The sixteen motions by suffix: bounce step orbit glide (the club four),
// then surge recoil flutter dive pendulum figure8 box corkscrew spiral
// slalom spring ricochet.
KINETROPE_API std::span<const std::string_view> motion_names();

struct MotionTable {
    std::string_view suffix;
    int dimensions;                 // 3 where z ever moves, else 2
    std::vector<Offset3> samples;   // one a pip over the part's period
};

// The named motions (every one when `motions` is empty), each scaled as the
// built-in grooves are and kept within that motion's range, every value in
// [-1, 1]. Throws PartError for an unknown motion.
KINETROPE_API std::vector<MotionTable> render(const DrumPart& part, std::span<const std::string_view> motions = {});

}  // namespace kinetrope::grooves
