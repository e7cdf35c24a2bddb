#pragma once

// Everything a native caller needs: link against the installed module file.
#include "kinetrope/catalogue.hpp"
#include "kinetrope/collections.hpp"
#include "kinetrope/moves.hpp"
#include "kinetrope/pattern_library.hpp"
#include "kinetrope/pip.hpp"
#include "kinetrope/rudiment_info.hpp"
#include "kinetrope/rudiments.hpp"
#include "kinetrope/sampled_pattern.hpp"
#include "kinetrope/sampled_recording.hpp"
