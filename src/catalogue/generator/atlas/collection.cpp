// The atlas collection: 256 systematic patterns in families of 8 or 16. Each
// family's rows and rule live in the atlas_<group>.cpp file named beside it.

#include "catalogue/generator/atlas/families.hpp"
#include "catalogue/generator/shared/authoring.hpp"

namespace kinetrope_tablegen {

Collection author_atlas(const std::filesystem::path&) {
    atlas::Rows rows;
    atlas::add_waves(rows);
    atlas::add_envelopes(rows);
    atlas::add_sequences(rows);
    atlas::add_noise(rows);
    atlas::add_orbits(rows);
    atlas::add_polar(rows);
    atlas::add_space(rows);
    atlas::add_mechanisms(rows);
    atlas::add_rhythms(rows);
    atlas::add_gestures(rows);
    return {"atlas", std::move(rows)};
}

}  // namespace kinetrope_tablegen
