#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "kinetrope/export.hpp"
#include "kinetrope/pip.hpp"
#include "kinetrope/rudiment_info.hpp"
#include "kinetrope/sampled_pattern.hpp"

namespace kinetrope {

// The host's own pattern pack, in front of the built-in catalogue: its names
// are answered first, every other name goes on to the built-in lookup. It may
// not change what a built-in name means.
//
// A constructed library is immutable.
class KINETROPE_API PatternLibrary {
  public:
    static constexpr std::size_t max_patterns = 1024;
    static constexpr std::size_t max_total_samples = 1048576;  // over all given patterns, dropped ones included

    // Throws std::invalid_argument at the first failed check: the pattern count,
    // then pattern by pattern in input order: moved-from, duplicate name, sample
    // budget, redefined built-in. A pattern identical to a built-in is accepted
    // and dropped; the others are moved into the library in input order.
    explicit PatternLibrary(std::vector<SampledPattern> patterns);

    // An own pattern by exact name, wrapped by its own period; otherwise the
    // built-in lookup, with its std::invalid_argument for an unknown name.
    Offset3 sample(std::string_view name, int pip) const;

    // The built-in rows, then one row per own pattern in input order. Own rows
    // view this library's strings and stay valid while the library lives.
    std::vector<RudimentInfo> catalogue() const;

  private:
    std::vector<SampledPattern> patterns_;
};

}  // namespace kinetrope
