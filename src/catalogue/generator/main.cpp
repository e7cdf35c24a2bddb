// Builds the constant tables of the built-in catalogue.
// Usage: kinetrope_tablegen <generator dir> <output dir> <shard count>
// The generator dir is this folder: each collection reads its data from its
// own subfolder of it.

#include <cstdio>
#include <exception>
#include <fstream>
#include <stdexcept>
#include <string>

#include "catalogue/generator/beats/catalogue.hpp"
#include "catalogue/generator/emit.hpp"
#include "catalogue/generator/invariants.hpp"

using namespace kinetrope_tablegen;

namespace {

std::vector<Collection> author_all(const std::filesystem::path& data_dir) {
    std::vector<Collection> collections;
    for (CollectionAuthor author : collection_authors()) {
        collections.push_back(author(data_dir));
        for (AuthoredPattern& pattern : collections.back().patterns) round_table(pattern.samples);
    }
    return collections;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <generator dir> <output dir> <shard count>\n", argv[0]);
        return 2;
    }
    try {
        const std::vector<Collection> collections = author_all(argv[1]);
        check_collections(collections);
        emit_sources(collections, argv[2], std::stoi(argv[3]));
        // The grooves engine scales users' parts by the beat motions' maps.
        std::ofstream fits(std::filesystem::path(argv[2]) / "groove_fits.cpp", std::ios::binary);
        fits << groove_fits_source(beat_collections(argv[1]).fits);
        if (!fits.flush()) throw std::runtime_error("cannot write groove_fits.cpp");
    } catch (const std::exception& error) {
        std::fprintf(stderr, "kinetrope_tablegen: %s\n", error.what());
        return 1;
    }
    return 0;
}
