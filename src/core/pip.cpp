#include "kinetrope/pip.hpp"

namespace kinetrope {

int wrap_pip(int pip, int period) noexcept {
    if (period <= 0) {
        return 0;
    }
    // The remainder is taken before the period is added, so nothing overflows.
    const int remainder = pip % period;
    return remainder < 0 ? remainder + period : remainder;
}

}  // namespace kinetrope
