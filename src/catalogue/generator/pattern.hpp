#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "catalogue/generator/shared/shapes.hpp"

namespace kinetrope_tablegen {

// One table-backed pattern as its collection authors it.
struct AuthoredPattern {
    std::string name;
    std::string description;
    int period_pips;
    int dimensions;
    Table samples;
};

// A collection's patterns in registry order; `name` gives its namespace.
struct Collection {
    std::string name;
    std::vector<AuthoredPattern> patterns;
};

// Authored data files (waveforms and the like) live under `data_dir`.
using CollectionAuthor = Collection (*)(const std::filesystem::path& data_dir);

// Every collection in registry order; adding one means adding its source
// file and one entry here.
const std::vector<CollectionAuthor>& collection_authors();

}  // namespace kinetrope_tablegen
