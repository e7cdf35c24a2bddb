#include <stdexcept>
#include <string>

#include "catalogue/registry.hpp"
#include "kinetrope/catalogue.hpp"
#include "kinetrope/moves.hpp"
#include "kinetrope/rudiments.hpp"

namespace kinetrope {

namespace {

// The formula names grouped by length, so only same-length names are compared.
Sampler find_formula(std::string_view name) {
    switch (name.size()) {
        case 4:
            if (name == "sway") return sway;
            if (name == "flam") return flam;
            if (name == "drag") return drag;
            return nullptr;
        case 5:
            return name == "helix" ? helix : nullptr;
        case 6:
            if (name == "bounce") return bounce;
            if (name == "circle") return circle;
            return nullptr;
        case 8:
            return name == "box_step" ? box_step : nullptr;
        case 10:
            return name == "step_touch" ? step_touch : nullptr;
        case 12:
            return name == "figure_eight" ? figure_eight : nullptr;
        case 15:
            return name == "loam_background" ? loam_background : nullptr;
        case 16:
            return name == "five_stroke_roll" ? five_stroke_roll : nullptr;
        case 17:
            return name == "single_paradiddle" ? single_paradiddle : nullptr;
        case 18:
            if (name == "single_stroke_roll") return single_stroke_roll;
            if (name == "double_stroke_roll") return double_stroke_roll;
            return nullptr;
        case 20:
            return name == "multiple_bounce_roll" ? multiple_bounce_roll : nullptr;
        default:
            return nullptr;
    }
}

// Lower bound over the name index, comparing name keys, then one exact
// comparison. Registry names are 8 to 32 bytes long, so a longer query is
// unknown without a search.
const detail::RegistryEntry* find_registered(std::string_view name) {
    if (name.size() > detail::name_key_bytes) return nullptr;
    const detail::NameKey query = detail::name_key(name);
    const auto& keys = detail::sorted_name_keys;
    std::size_t first = 0;
    std::size_t count = keys.size();
    while (count > 0) {
        const std::size_t half = count / 2;
        const std::size_t mid = first + half;
        if (keys[mid] < query) {
            first = mid + 1;
            count -= half + 1;
        } else {
            count = half;
        }
    }
    if (first == keys.size()) return nullptr;
    const detail::RegistryEntry& entry = detail::registry[detail::sorted_name_index[first]];
    return entry.info.name == name ? &entry : nullptr;
}

}  // namespace

Offset3 sample(std::string_view name, int pip) {
    if (const Sampler formula = find_formula(name)) return formula(pip);
    if (const detail::RegistryEntry* entry = find_registered(name)) return entry->sampler(pip);
    throw std::invalid_argument(std::string("Unknown dance rudiment: ").append(name));
}

}  // namespace kinetrope
