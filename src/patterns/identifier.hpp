#pragma once

#include <cstddef>
#include <string_view>

namespace kinetrope::detail {

inline constexpr std::size_t max_identifier_length = 128;

// Pattern, recording and axis names: 1 to 128 bytes of lower-case ASCII
// letters, digits and underscores, starting with a letter.
constexpr bool is_identifier(std::string_view text) noexcept {
    if (text.empty() || text.size() > max_identifier_length || text.front() < 'a' || text.front() > 'z') {
        return false;
    }
    for (const char c : text) {
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
        if (!allowed) {
            return false;
        }
    }
    return true;
}

}  // namespace kinetrope::detail
