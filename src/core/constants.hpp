#pragma once

// Constants shared by the formula patterns. Each is the double nearest to
// the named value; formulas multiply by reciprocals rather than divide.
namespace kinetrope::detail {

inline constexpr double pi = 3.141592653589793;
inline constexpr double two_pi = 6.283185307179586;
inline constexpr double four_pi = 12.566370614359172;
inline constexpr double half_pi = 1.5707963267948966;

inline constexpr double one_32nd = 0.03125;
inline constexpr double one_64th = 0.015625;
inline constexpr double one_128th = 0.0078125;
inline constexpr double one_256th = 0.00390625;

// Cubic ease with zero slope at both ends, for t in [0, 1].
constexpr double smoothstep(double t) { return (3.0 - (t + t)) * (t * t); }

}  // namespace kinetrope::detail
