#pragma once

#include <functional>

#include "catalogue/generator/shared/shapes.hpp"

// The one fitting step of the continuum path families: a raw closed path is
// mapped, axis by axis, onto its family's stated value range.
namespace kinetrope_tablegen::continuum {

// The ends one axis must reach; {0, 0} keeps the axis at exactly zero.
struct AxisSpan {
    double low;
    double high;
};

struct RangeTargets {
    AxisSpan x;
    AxisSpan y;
    AxisSpan z;
};

// Where the raw extremes are measured: on the stored pips, or on every half
// pip, so the stored samples may stay a little inside the ends.
enum class Measure { whole_pips, half_pips };

// A raw path at any pip of its loop, fractional ones included.
using RawPath = std::function<Offset3(double pip)>;

// Each axis goes through v·(c0 + c1·v), the smooth monotone curve that keeps
// zero at zero (so rests, holds and pip-0 points stay where they are) and
// takes the measured raw extremes exactly to the target ends.
Table fitted_path(int period, const RawPath& path, const RangeTargets& targets, Measure measure);

// As above, with the curve measured on `reference`, so variants of one shape
// share its mapping (and its start point); they must stay within the ends.
Table fitted_path(int period, const RawPath& path, const RawPath& reference, const RangeTargets& targets,
                  Measure measure);

}  // namespace kinetrope_tablegen::continuum
