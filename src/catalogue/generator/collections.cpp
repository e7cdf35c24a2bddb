#include "catalogue/generator/pattern.hpp"

namespace kinetrope_tablegen {

Collection author_initial(const std::filesystem::path& data_dir);
Collection author_expansion(const std::filesystem::path& data_dir);
Collection author_atlas(const std::filesystem::path& data_dir);
Collection author_continuum(const std::filesystem::path& data_dir);
Collection author_club(const std::filesystem::path& data_dir);
Collection author_dancefloor(const std::filesystem::path& data_dir);

const std::vector<CollectionAuthor>& collection_authors() {
    static const std::vector<CollectionAuthor> authors{author_initial,   author_expansion, author_atlas,
                                                       author_continuum, author_club,      author_dancefloor};
    return authors;
}

}  // namespace kinetrope_tablegen
