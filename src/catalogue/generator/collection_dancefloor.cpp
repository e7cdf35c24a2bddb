// The dancefloor collection.

#include "catalogue/generator/authoring.hpp"

namespace kinetrope_tablegen {

Collection author_dancefloor(const std::filesystem::path&) { return {"dancefloor", {}}; }

}  // namespace kinetrope_tablegen
