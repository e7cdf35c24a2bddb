// The continuum collection: twelve families of continuous paths, then eight
// families of rhythmic phrases, sixteen rows each.

#include "catalogue/generator/shared/authoring.hpp"
#include "catalogue/generator/continuum/families.hpp"

namespace kinetrope_tablegen {

Collection author_continuum(const std::filesystem::path&) {
    using namespace continuum;
    Collection collection{"continuum", {}};
    for (Family (*family)() :
         {ribbons,       shaped_contours, harmonic_silhouettes, splines,         vertex_tours, scans,  reaches,
          surface_paths, braids,          coupled_arms,         dwell_phrases,   packets,      canons, echoes,
          ladders,       necklaces,       accent_walks,         triplet_studies, dialogues,    bursts})
        for (AuthoredPattern& pattern : family()) collection.patterns.push_back(std::move(pattern));
    return collection;
}

}  // namespace kinetrope_tablegen
