// The atlas collection.

#include "catalogue/generator/authoring.hpp"

namespace kinetrope_tablegen {

Collection author_atlas(const std::filesystem::path&) { return {"atlas", {}}; }

}  // namespace kinetrope_tablegen
