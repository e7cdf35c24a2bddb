#pragma once

#include <span>
#include <vector>

#include "catalogue/generator/shared/shapes.hpp"

// The gesture vocabulary of the rhythmic phrase families: five gesture types,
// each an asymmetric rise to its onset and fall after it.
namespace kinetrope_tablegen {

enum class GestureType { left, right, depth, down, up };

struct Gesture {
    double onset;  // pip of the full-size moment; may fall between pips
    GestureType type;
    double weight;
    double width;  // rise plus fall, in pips
};

using Phrase = std::vector<Gesture>;

// How much of the gesture's vector reaches a sample at signed loop distance
// `distance` from its onset: 1 at the onset, 0 outside the rise and fall.
double gesture_envelope(GestureType type, double width, double distance);

// Every gesture adds weight·vector·envelope to every pip; gestures overlap.
Table render_phrase(int period, std::span<const Gesture> phrase);

// The full-size vector of a gesture type.
Offset3 gesture_vector(GestureType type);

}  // namespace kinetrope_tablegen
