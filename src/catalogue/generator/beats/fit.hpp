#pragma once

#include <vector>

#include "catalogue/generator/beats/motions.hpp"

namespace kinetrope_tablegen {

// Maps one motion's tables so that, over all of them, each axis reaches
// exactly its target ends. Each axis goes through one smooth increasing map
// that keeps 0 at 0 (a straight scale, bent just enough when the two ends
// need different factors): an axis that never moves stays still, y that
// never dips stays at or above 0, and smooth tables stay smooth. The `fixed`
// tables are left as they are but must stay within the targets.
void fit_motion_ranges(const std::vector<Table*>& fitted, const std::vector<const Table*>& fixed,
                       const MotionRanges& targets, const char* motion);

}  // namespace kinetrope_tablegen
