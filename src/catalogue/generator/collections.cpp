#include "catalogue/generator/pattern.hpp"

namespace kinetrope_tablegen {

Collection author_initial(const std::filesystem::path& data_dir);
Collection author_expansion(const std::filesystem::path& data_dir);

const std::vector<CollectionAuthor>& collection_authors() {
    static const std::vector<CollectionAuthor> authors{author_initial, author_expansion};
    return authors;
}

}  // namespace kinetrope_tablegen
