#include "kinetrope/sampled_pattern.hpp"

#include <cmath>
#include <stdexcept>
#include <utility>

#include "patterns/identifier.hpp"

namespace kinetrope {

namespace {

bool is_valid_component(double value) noexcept { return std::isfinite(value) && value >= -1.0 && value <= 1.0; }

bool is_valid_sample(const Offset3& s) noexcept {
    return is_valid_component(s.x) && is_valid_component(s.y) && is_valid_component(s.z);
}

// Axes in use: 3 once any z moves, else 2 once any y moves; x never counts.
// Negative zero compares equal to zero, so it does not count either.
std::uint8_t widen_dimensions(std::uint8_t dimensions, const Offset3& s) noexcept {
    if (s.z != 0.0) {
        return 3;
    }
    if (s.y != 0.0 && dimensions != 3) {
        return 2;
    }
    return dimensions;
}

}  // namespace

SampledPattern::SampledPattern(std::string name, std::string description, std::vector<Offset3> samples)
    : name_(std::move(name)), description_(std::move(description)), samples_(std::move(samples)), dimensions_(1) {
    if (!detail::is_identifier(name_)) {
        throw std::invalid_argument("Invalid pattern name");
    }
    if (samples_.empty() || samples_.size() > max_samples) {
        throw std::invalid_argument("A pattern requires 1..65535 samples (one per pip)");
    }
    for (const Offset3& s : samples_) {
        if (!is_valid_sample(s)) {
            throw std::invalid_argument("Pattern samples must be finite and within [-1, 1]");
        }
        dimensions_ = widen_dimensions(dimensions_, s);
    }
}

Offset3 SampledPattern::sample(int pip) const {
    if (samples_.empty()) {
        throw std::logic_error("Cannot sample a moved-from pattern");
    }
    // The count is at most 65535, so it fits an int period.
    return samples_[static_cast<std::size_t>(wrap_pip(pip, static_cast<int>(samples_.size())))];
}

RudimentInfo SampledPattern::info() const noexcept {
    return RudimentInfo{name_, description_, static_cast<std::uint16_t>(samples_.size()), dimensions_};
}

}  // namespace kinetrope
