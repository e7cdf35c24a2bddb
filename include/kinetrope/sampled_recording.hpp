#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "kinetrope/export.hpp"

namespace kinetrope {

// Motion recorded by the host on the pip grid: named axes, one row of values
// per pip from `start_pip` on, and the tempo and beat origin it was taken
// against. It does not loop: a pip outside its rows is refused.
class KINETROPE_API SampledRecording {
  public:
    // Bounds one recording's storage; rows are capped at max_values / axes so
    // that rows * axes never overflows.
    static constexpr std::size_t max_values = 8388608;

    // Throws std::invalid_argument at the first failed check: name, tempo and
    // origin, sizes, axis names, then rows in order.
    SampledRecording(std::string name, std::vector<std::string> dimensions,
                     const std::vector<std::vector<double>>& samples, double bpm, double beat_zero_seconds,
                     int start_pip);

    // The row recorded at `pip`, one value per axis in axis order;
    // std::out_of_range outside start_pip .. start_pip + sample_count() - 1.
    std::vector<double> sample(int pip) const;

    const std::string& name() const noexcept { return name_; }
    const std::vector<std::string>& dimensions() const noexcept { return dimensions_; }
    // A moved-from recording has no axes and no rows.
    std::size_t sample_count() const noexcept { return dimensions_.empty() ? 0 : values_.size() / dimensions_.size(); }
    double bpm() const noexcept { return bpm_; }
    double beat_zero_seconds() const noexcept { return beat_zero_seconds_; }
    int start_pip() const noexcept { return start_pip_; }

  private:
    std::string name_;
    std::vector<std::string> dimensions_;
    std::vector<double> values_;  // row-major: row r, axis a at r * axes + a
    double bpm_;
    double beat_zero_seconds_;
    int start_pip_;
};

}  // namespace kinetrope
