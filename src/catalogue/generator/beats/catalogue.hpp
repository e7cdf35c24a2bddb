#pragma once

#include <filesystem>

#include "catalogue/generator/pattern.hpp"

namespace kinetrope_tablegen {

// Both beat collections at once: the range fit binds each motion over every
// groove that carries it, in club and dancefloor alike.
struct BeatCollections {
    Collection club;
    Collection dancefloor;
};

const BeatCollections& beat_collections(const std::filesystem::path& data_dir);

}  // namespace kinetrope_tablegen
