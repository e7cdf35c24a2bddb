#pragma once

#include <filesystem>

#include "grooves/engine.hpp"

// The beat grooves' scores, read by the grooves engine's own score reader.
namespace kinetrope_tablegen {

using kinetrope::grooves::DrumEvent;
using kinetrope::grooves::DrumPart;
using kinetrope::grooves::Voice;

// Reads `<stem>.groove` (see kinetrope::grooves::parse_score); a refusal
// names the file and line, and a score without events is refused too.
DrumPart read_score(const std::filesystem::path& file);

}  // namespace kinetrope_tablegen
