#include "kinetrope/catalogue.hpp"

#include "catalogue/registry.hpp"
#include "core/formula_patterns.hpp"

namespace kinetrope {

namespace {

// Rows view constant strings only, so the list's own storage is all it allocates.
std::vector<RudimentInfo> build_catalogue() {
    std::vector<RudimentInfo> rows;
    rows.reserve(detail::formula_patterns.size());
    for (const auto& formula : detail::formula_patterns) rows.push_back(formula.info);
    for (const auto& entry : detail::registry) rows.push_back(entry.info);
    return rows;
}

}  // namespace

const std::vector<RudimentInfo>& catalogue() {
    // Thread-safe once-only construction; a failed build is retried on the next call.
    static const std::vector<RudimentInfo> rows = build_catalogue();
    return rows;
}

}  // namespace kinetrope
