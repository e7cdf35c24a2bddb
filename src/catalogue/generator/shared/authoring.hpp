#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "catalogue/generator/pattern.hpp"

// Small helpers shared by the collection authoring files.
namespace kinetrope_tablegen {

inline AuthoredPattern make_pattern(std::string name, int period, int dimensions, std::string description,
                                    Table samples) {
    return {std::move(name), std::move(description), period, dimensions, std::move(samples)};
}

inline Offset3 scaled(Offset3 v, double factor) { return {v.x * factor, v.y * factor, v.z * factor}; }

// +1 for even j, -1 for odd j: the alternating lean of numbered onsets.
inline double alternating(int j) { return j % 2 == 0 ? 1.0 : -1.0; }

// Keyframe tracks for x, y and z; an empty list leaves that axis at 0.
Table keyframe_table(int period, const std::vector<Keyframe>& x, const std::vector<Keyframe>& y = {},
                     const std::vector<Keyframe>& z = {});

// Maps one axis linearly so its smallest value becomes `low` and its largest `high`.
void fit_axis(Table& table, double Offset3::* axis, double low, double high);

// A deterministic 64-bit generator (splitmix64): same seed, same sequence.
class SeededSequence {
  public:
    explicit SeededSequence(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next();
    double uniform(double low, double high);  // in [low, high)

  private:
    std::uint64_t state_;
};

}  // namespace kinetrope_tablegen
