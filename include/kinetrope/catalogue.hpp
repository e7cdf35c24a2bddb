#pragma once

#include <string_view>
#include <vector>

#include "kinetrope/export.hpp"
#include "kinetrope/pip.hpp"
#include "kinetrope/rudiment_info.hpp"

namespace kinetrope {

// Samples any built-in pattern, formula or table-backed, by exact name.
// Throws std::invalid_argument "Unknown dance rudiment: <name>" otherwise.
KINETROPE_API Offset3 sample(std::string_view name, int pip);

// Every built-in pattern: the fifteen formula patterns, then the table-backed
// ones in collection order. Built on first use; the same list every call.
KINETROPE_API const std::vector<RudimentInfo>& catalogue();

}  // namespace kinetrope
