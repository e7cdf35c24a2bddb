#include "catalogue/generator/invariants.hpp"

#include <cmath>
#include <set>
#include <stdexcept>

#include "core/formula_patterns.hpp"
#include "patterns/identifier.hpp"

namespace kinetrope_tablegen {

double round_to_12_decimals(double value) {
    const long long units = std::llround(value * 1e12);
    return units == 0 ? 0.0 : double(units) / 1e12;
}

void round_table(Table& table) {
    for (Offset3& s : table) s = {round_to_12_decimals(s.x), round_to_12_decimals(s.y), round_to_12_decimals(s.z)};
}

int active_dimensions(const Table& table) {
    int dimensions = 0;
    for (const Offset3& s : table) {
        if (s.z != 0.0) return 3;
        if (s.y != 0.0) dimensions = 2;
        if (s.x != 0.0 && dimensions == 0) dimensions = 1;
    }
    return dimensions;
}

namespace {

double step_length(const Offset3& a, const Offset3& b) { return std::hypot(b.x - a.x, b.y - a.y, b.z - a.z); }

[[noreturn]] void fail(const AuthoredPattern& pattern, const std::string& problem) {
    throw std::runtime_error("pattern " + pattern.name + ": " + problem);
}

bool is_formula_name(const std::string& name) {
    for (const auto& formula : kinetrope::detail::formula_patterns)
        if (formula.info.name == name) return true;
    return false;
}

void check_name(const AuthoredPattern& pattern) {
    const std::string& name = pattern.name;
    if (name.size() < 8 || name.size() > 32) fail(pattern, "name must be 8 to 32 bytes long");
    if (!(name[0] >= 'a' && name[0] <= 'z')) fail(pattern, "name must start with a lower-case letter");
    if (!kinetrope::detail::is_identifier(name)) fail(pattern, "name may hold only a-z, 0-9 and _");
    if (is_formula_name(name)) fail(pattern, "name is taken by a formula pattern");
}

// Length in bytes and well-formed UTF-8 (no overlong forms are produced by
// the authoring files, so a lead/continuation check suffices).
void check_description(const AuthoredPattern& pattern) {
    const std::string& text = pattern.description;
    if (text.size() < 43 || text.size() > 235) fail(pattern, "description must be 43 to 235 bytes long");
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
        if (length == 0 || i + length > text.size()) fail(pattern, "description is not valid UTF-8");
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                fail(pattern, "description is not valid UTF-8");
        i += length;
    }
}

bool is_stored_value(double v) {
    return std::isfinite(v) && v >= -1.0 && v <= 1.0 && !(v == 0.0 && std::signbit(v)) && round_to_12_decimals(v) == v;
}

void check_samples(const AuthoredPattern& pattern) {
    if (pattern.period_pips < 1 || pattern.period_pips > 65535) fail(pattern, "period must be 1 to 65535 pips");
    if (pattern.samples.size() != std::size_t(pattern.period_pips)) fail(pattern, "table length differs from period");
    for (std::size_t p = 0; p < pattern.samples.size(); ++p) {
        const Offset3& s = pattern.samples[p];
        if (!is_stored_value(s.x) || !is_stored_value(s.y) || !is_stored_value(s.z))
            fail(pattern, "sample " + std::to_string(p) + " is not a rounded finite value in [-1, 1]");
    }
    if (pattern.dimensions < 1 || pattern.dimensions > 3 || active_dimensions(pattern.samples) != pattern.dimensions)
        fail(pattern, "declared " + std::to_string(pattern.dimensions) + " dimensions, table moves " +
                          std::to_string(active_dimensions(pattern.samples)));
    if (!closes_as_loop(pattern.samples)) fail(pattern, "table does not close as a loop");
}

}  // namespace

bool closes_as_loop(const Table& table) {
    double largest_inner_step = 0.0;
    for (std::size_t p = 1; p < table.size(); ++p)
        largest_inner_step = std::fmax(largest_inner_step, step_length(table[p - 1], table[p]));
    return table.empty() || step_length(table.back(), table.front()) <= largest_inner_step;
}

void check_pattern(const AuthoredPattern& pattern) {
    check_name(pattern);
    check_description(pattern);
    check_samples(pattern);
}

void check_collections(std::span<const Collection> collections) {
    std::set<std::string> names;
    for (const Collection& collection : collections) {
        for (const AuthoredPattern& pattern : collection.patterns) {
            check_pattern(pattern);
            if (!names.insert(pattern.name).second) fail(pattern, "name is used twice");
        }
    }
}

}  // namespace kinetrope_tablegen
