#include "kinetrope/sampled_recording.hpp"

#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "patterns/identifier.hpp"

namespace kinetrope {

namespace {

void check_timing(double bpm, double beat_zero_seconds) {
    // A tiny positive bpm still overflows 60 / bpm, the length of a beat.
    const bool valid = std::isfinite(bpm) && bpm > 0.0 && std::isfinite(60.0 / bpm) && std::isfinite(beat_zero_seconds);
    if (!valid) {
        throw std::invalid_argument("A finite positive BPM and beat origin are required");
    }
}

// Rows are capped by division, not by multiplying, and the end pip is summed
// in 64 bits, so neither test can overflow.
void check_sizes(std::size_t axis_count, std::size_t row_count, int start_pip) {
    const bool valid = axis_count != 0 && row_count != 0 && row_count <= SampledRecording::max_values / axis_count &&
                       static_cast<std::int64_t>(start_pip) + static_cast<std::int64_t>(row_count) <=
                           std::numeric_limits<std::int32_t>::max();
    if (!valid) {
        throw std::invalid_argument("Empty recording or recording resource limit exceeded");
    }
}

void check_axes(const std::vector<std::string>& axes) {
    std::unordered_set<std::string_view> seen;
    seen.reserve(axes.size());
    for (const std::string& axis : axes) {
        if (!detail::is_identifier(axis)) {
            throw std::invalid_argument("Invalid identifier");
        }
        if (!seen.insert(axis).second) {
            throw std::invalid_argument("Duplicate axis");
        }
    }
}

bool is_valid_value(double value) noexcept { return std::isfinite(value) && std::fabs(value) <= 1.0; }

void append_row(std::vector<double>& values, const std::vector<double>& row, std::size_t axis_count) {
    if (row.size() != axis_count) {
        throw std::invalid_argument("Ragged recording");
    }
    for (const double value : row) {
        if (!is_valid_value(value)) {
            throw std::invalid_argument("Invalid sample");
        }
    }
    values.insert(values.end(), row.begin(), row.end());
}

}  // namespace

SampledRecording::SampledRecording(std::string name, std::vector<std::string> dimensions,
                                   const std::vector<std::vector<double>>& samples, double bpm,
                                   double beat_zero_seconds, int start_pip)
    : name_(std::move(name)),
      dimensions_(std::move(dimensions)),
      bpm_(bpm),
      beat_zero_seconds_(beat_zero_seconds),
      start_pip_(start_pip) {
    if (!detail::is_identifier(name_)) {
        throw std::invalid_argument("Invalid identifier");
    }
    check_timing(bpm_, beat_zero_seconds_);
    check_sizes(dimensions_.size(), samples.size(), start_pip_);
    check_axes(dimensions_);
    // One allocation at the final size; rows are checked in order, so the
    // first bad row is the one reported.
    values_.reserve(samples.size() * dimensions_.size());
    for (const std::vector<double>& row : samples) {
        append_row(values_, row, dimensions_.size());
    }
}

std::vector<double> SampledRecording::sample(int pip) const {
    const std::int64_t row = static_cast<std::int64_t>(pip) - start_pip_;
    if (row < 0 || static_cast<std::uint64_t>(row) >= sample_count()) {
        throw std::out_of_range("Pip outside non-looping recording");
    }
    const auto first =
        values_.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(row) * dimensions_.size());
    return std::vector<double>(first, first + static_cast<std::ptrdiff_t>(dimensions_.size()));
}

}  // namespace kinetrope
