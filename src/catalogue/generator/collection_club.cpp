// The club collection.

#include "catalogue/generator/authoring.hpp"

namespace kinetrope_tablegen {

Collection author_club(const std::filesystem::path&) { return {"club", {}}; }

}  // namespace kinetrope_tablegen
