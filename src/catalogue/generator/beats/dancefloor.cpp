// The dancefloor collection: the twelve further motions of the 36 club
// grooves, then 32 new grooves with all sixteen.

#include "catalogue/generator/shared/authoring.hpp"
#include "catalogue/generator/beats/catalogue.hpp"

namespace kinetrope_tablegen {

Collection author_dancefloor(const std::filesystem::path& data_dir) { return beat_collections(data_dir).dancefloor; }

}  // namespace kinetrope_tablegen
