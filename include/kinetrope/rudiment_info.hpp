#pragma once

#include <cstdint>
#include <string_view>

namespace kinetrope {

// One catalogue row. It owns no text: the views point at constant strings
// (built-ins) or at the strings of the host pattern that made the row.
struct RudimentInfo {
    std::string_view name;
    std::string_view description;  // UTF-8
    std::uint16_t period_pips;
    std::uint8_t dimensions;  // number of active axes, 1 to 3
};

}  // namespace kinetrope
