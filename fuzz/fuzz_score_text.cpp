// kinetrope::grooves: score text in, a part and its motions out.
//
// Input: the score text itself, any bytes.
//
// Success: the part keeps within the limits with its events in order of
// onset, its score text reads back to an equal part, and (for parts up to
// 16 bars of 4/4, so an input stays quick) every motion has a sample a pip,
// each finite and within [-1, 1]. Refusal: exactly a PartError, its message
// one line.

#include <cmath>
#include <string>
#include <string_view>

#include "harness.hpp"
#include "kinetrope/grooves.hpp"

namespace {

namespace grooves = kinetrope::grooves;

void check_part(const grooves::DrumPart& part) {
    fuzz::require(part.bars >= 1 && part.bars <= grooves::max_bars, "bars within the limit");
    fuzz::require(part.period() <= grooves::max_period, "period within the limit");
    fuzz::require(part.events.size() <= std::size_t(grooves::max_events), "events within the limit");
    for (std::size_t i = 0; i < part.events.size(); ++i) {
        const grooves::DrumEvent& e = part.events[i];
        fuzz::require(e.pip >= 0.0 && e.pip < part.period(), "event inside the part");
        fuzz::require(e.velocity > 0.0 && e.velocity <= 1.0, "velocity in (0, 1]");
        fuzz::require(i == 0 || part.events[i - 1].pip <= e.pip, "events in order of onset");
    }
    fuzz::require(grooves::parse_score(grooves::score_text(part)) == part, "score text reads back to the part");
    if (part.period() > 16 * 256) return;
    for (const grooves::MotionTable& table : grooves::render(part)) {
        fuzz::require(table.samples.size() == std::size_t(part.period()), "a sample a pip");
        fuzz::require(table.dimensions == 2 || table.dimensions == 3, "two or three dimensions");
        for (const kinetrope::Offset3& s : table.samples)
            for (double v : {s.x, s.y, s.z}) fuzz::require(std::isfinite(v) && std::fabs(v) <= 1.0, "value in [-1, 1]");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        check_part(grooves::parse_score(text));
    } catch (const grooves::PartError& error) {
        const std::string message = error.what();
        fuzz::require(!message.empty() && message.find('\n') == std::string::npos, "a refusal is one line");
    } catch (...) {
        fuzz::fail("something other than a PartError escaped");
    }
    return 0;
}
