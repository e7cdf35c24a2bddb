// The club collection: 36 grooves, each moved by the four club motions.

#include "catalogue/generator/shared/authoring.hpp"
#include "catalogue/generator/beats/catalogue.hpp"

namespace kinetrope_tablegen {

Collection author_club(const std::filesystem::path& data_dir) { return beat_collections(data_dir).club; }

}  // namespace kinetrope_tablegen
