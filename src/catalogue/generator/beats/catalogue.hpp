#pragma once

#include <filesystem>

#include "catalogue/generator/pattern.hpp"
#include "grooves/engine.hpp"

namespace kinetrope_tablegen {

// Both beat collections at once: the range fit binds each motion over every
// groove that carries it, in club and dancefloor alike.
struct BeatCollections {
    Collection club;
    Collection dancefloor;
    // Each motion's per-axis maps, which the engine applies to users' parts.
    std::vector<kinetrope::grooves::engine::MotionFit> fits;
};

const BeatCollections& beat_collections(const std::filesystem::path& data_dir);

// groove_fits.cpp: the maps as a source the grooves engine compiles in.
std::string groove_fits_source(const std::vector<kinetrope::grooves::engine::MotionFit>& fits);

}  // namespace kinetrope_tablegen
