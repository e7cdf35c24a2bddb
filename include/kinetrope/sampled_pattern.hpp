#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "kinetrope/export.hpp"
#include "kinetrope/pip.hpp"
#include "kinetrope/rudiment_info.hpp"

namespace kinetrope {

// A looping pattern supplied by the host: one Offset3 per pip, wrapped by the
// sample count exactly like the built-in table-backed patterns.
//
// A constructed pattern is immutable. Moving it away leaves the source with no
// samples: it may then only be destroyed or assigned to; sample() throws and
// info() reports period 0.
class KINETROPE_API SampledPattern {
  public:
    static constexpr std::size_t max_samples = 65535;  // fits RudimentInfo::period_pips

    // Throws std::invalid_argument at the first failed check: name, then
    // sample count, then sample values in pip order.
    SampledPattern(std::string name, std::string description, std::vector<Offset3> samples);

    // The sample at `pip` wrapped into the period; std::logic_error if moved-from.
    Offset3 sample(int pip) const;

    // The catalogue row; its views refer to this pattern's own strings and stay
    // valid while the pattern lives unchanged.
    RudimentInfo info() const noexcept;

    const std::string& name() const noexcept { return name_; }
    const std::string& description() const noexcept { return description_; }
    std::size_t sample_count() const noexcept { return samples_.size(); }  // 0 only when moved-from
    std::uint8_t dimensions() const noexcept { return dimensions_; }

  private:
    std::string name_;
    std::string description_;
    std::vector<Offset3> samples_;
    std::uint8_t dimensions_;
};

}  // namespace kinetrope
