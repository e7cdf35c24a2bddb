#pragma once

#include <vector>

namespace kinetrope_tablegen {

struct BeatGroove {
    const char* stem;
    const char* title;
    int period;
    int dimensions;        // of its bounce and step rows
    const char* sentence;  // ends its club rows; empty for the dancefloor-only grooves
};

// The club grooves, then the dancefloor-only ones, each in registry order.
const std::vector<BeatGroove>& club_grooves();
const std::vector<BeatGroove>& dancefloor_grooves();

}  // namespace kinetrope_tablegen
