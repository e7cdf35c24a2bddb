#include "catalogue/generator/shared/authoring.hpp"

#include <algorithm>
#include <stdexcept>

namespace kinetrope_tablegen {

Table keyframe_table(int period, const std::vector<Keyframe>& x, const std::vector<Keyframe>& y,
                     const std::vector<Keyframe>& z) {
    const auto track = [period](const std::vector<Keyframe>& keys) {
        return keys.empty() ? std::vector<double>{} : keyframe_track(period, keys);
    };
    return from_axes(period, track(x), track(y), track(z));
}

void fit_axis(Table& table, double Offset3::* axis, double low, double high) {
    const auto [smallest, largest] = std::minmax_element(
        table.begin(), table.end(), [axis](const Offset3& a, const Offset3& b) { return a.*axis < b.*axis; });
    const double from = (*smallest).*axis;
    const double span = (*largest).*axis - from;
    if (span == 0.0) throw std::invalid_argument("cannot fit an axis that never moves");
    for (Offset3& s : table) s.*axis = low + (s.*axis - from) * (high - low) / span;
}

std::uint64_t SeededSequence::next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double SeededSequence::uniform(double low, double high) {
    const double unit = double(next() >> 11) * 0x1.0p-53;
    return low + (high - low) * unit;
}

}  // namespace kinetrope_tablegen
