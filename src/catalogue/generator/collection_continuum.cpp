// The continuum collection.

#include "catalogue/generator/authoring.hpp"

namespace kinetrope_tablegen {

Collection author_continuum(const std::filesystem::path&) { return {"continuum", {}}; }

}  // namespace kinetrope_tablegen
