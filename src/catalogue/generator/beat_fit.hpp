#pragma once

#include <vector>

#include "catalogue/generator/beat_motions.hpp"

namespace kinetrope_tablegen {

// Scales one motion's tables so that, over all of them, each axis reaches
// exactly its target ends. Positive and negative values scale separately, so
// 0 stays 0: an axis that never moves stays still, y that never dips stays
// at or above 0. The `fixed` tables are left as they are but must stay
// within the targets.
void fit_motion_ranges(const std::vector<Table*>& fitted, const std::vector<const Table*>& fixed,
                       const MotionRanges& targets, const char* motion);

}  // namespace kinetrope_tablegen
