#include "catalogue/generator/beats/score.hpp"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace kinetrope_tablegen {

DrumPart read_score(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + file.string());
    std::ostringstream text;
    text << in.rdbuf();
    const std::string where = file.filename().string() + ":";
    try {
        DrumPart part = kinetrope::grooves::parse_score(text.str());
        if (!part.events.empty()) return part;
    } catch (const kinetrope::grooves::PartError& error) {
        const std::string message = error.what();
        // "line 3: ..." becomes "file.groove:3: ..."
        if (message.starts_with("line ")) throw std::runtime_error(where + message.substr(5));
        throw std::runtime_error(where + " " + message);
    }
    const std::string all = text.str();
    const long lines = long(std::count(all.begin(), all.end(), '\n')) + (all.empty() || all.back() == '\n' ? 0 : 1);
    throw std::runtime_error(where + std::to_string(lines) + ": score is empty");
}

}  // namespace kinetrope_tablegen
