#pragma once

#include <functional>

#include "catalogue/generator/shared/shapes.hpp"

// The one fitting step of the continuum path families: a raw closed path is
// mapped onto its family's stated value range, either axis by axis or, for
// shapes whose proportions are themselves constrained, by one uniform scale.
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

// The distance band a shape keeps: from the origin in space, or in the x-y
// plane. Checked after the fit, so no later change to it can bend the shape
// out of its band unnoticed.
struct RadiusBand {
    bool planar;
    double low;
    double high;
};

// One factor for all three axes takes the largest magnitude on the stored
// pips to `peak`, so the shape keeps its proportions; the result must stay
// within the target ends and the band (both up to rounding).
Table scaled_path(int period, const RawPath& path, double peak, const RangeTargets& targets, RadiusBand band);

}  // namespace kinetrope_tablegen::continuum
