#include "kinetrope/pattern_library.hpp"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <unordered_set>
#include <utility>

#include "kinetrope/catalogue.hpp"

namespace kinetrope {

namespace {

const RudimentInfo* find_builtin_row(const std::vector<RudimentInfo>& rows, std::string_view name) noexcept {
    for (const RudimentInfo& row : rows) {
        if (row.name == name) return &row;
    }
    return nullptr;
}

bool same_offset(const Offset3& a, const Offset3& b) noexcept { return a.x == b.x && a.y == b.y && a.z == b.z; }

// Exact equality throughout: a copy that differs by one bit of one component
// would silently change what the built-in name means.
bool is_identical_to_builtin(const SampledPattern& pattern, const RudimentInfo& builtin) {
    if (pattern.description() != builtin.description || pattern.sample_count() != builtin.period_pips) {
        return false;
    }
    const int count = static_cast<int>(pattern.sample_count());
    for (int pip = 0; pip < count; ++pip) {
        if (!same_offset(pattern.sample(pip), kinetrope::sample(builtin.name, pip))) return false;
    }
    return true;
}

// True when the pattern is an exact copy of a built-in and is to be dropped;
// throws when it names a built-in but differs from it.
bool check_against_builtins(const SampledPattern& pattern, const std::vector<RudimentInfo>& builtins) {
    const RudimentInfo* builtin = find_builtin_row(builtins, pattern.name());
    if (builtin == nullptr) return false;
    if (!is_identical_to_builtin(pattern, *builtin)) {
        throw std::invalid_argument("Cannot override default pattern: " + pattern.name());
    }
    return true;
}

// Runs every per-pattern check in input order and returns which patterns to
// keep. Nothing is moved meanwhile: the seen set views the given names, and
// moving a short string empties the buffer such a view points into.
std::vector<bool> check_patterns(const std::vector<SampledPattern>& patterns) {
    const std::vector<RudimentInfo>& builtins = catalogue();
    std::unordered_set<std::string_view> seen;
    seen.reserve(patterns.size());
    std::size_t total_samples = 0;
    std::vector<bool> keep(patterns.size(), false);
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        const SampledPattern& pattern = patterns[i];
        if (pattern.sample_count() == 0) {
            throw std::invalid_argument("Empty/moved-from pattern");
        }
        if (!seen.insert(pattern.name()).second) {
            throw std::invalid_argument("Duplicate pattern name: " + pattern.name());
        }
        // At most 1024 counts of at most 65535 each: the sum cannot overflow.
        total_samples += pattern.sample_count();
        if (total_samples > PatternLibrary::max_total_samples) {
            throw std::invalid_argument("Pattern pack is too large");
        }
        keep[i] = !check_against_builtins(pattern, builtins);
    }
    return keep;
}

}  // namespace

PatternLibrary::PatternLibrary(std::vector<SampledPattern> patterns) {
    if (patterns.size() > max_patterns) {
        throw std::invalid_argument("Too many patterns");
    }
    const std::vector<bool> keep = check_patterns(patterns);
    patterns_.reserve(static_cast<std::size_t>(std::count(keep.begin(), keep.end(), true)));
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        if (keep[i]) patterns_.push_back(std::move(patterns[i]));
    }
}

Offset3 PatternLibrary::sample(std::string_view name, int pip) const {
    for (const SampledPattern& pattern : patterns_) {
        if (pattern.name() == name) return pattern.sample(pip);
    }
    return kinetrope::sample(name, pip);
}

std::vector<RudimentInfo> PatternLibrary::catalogue() const {
    const std::vector<RudimentInfo>& builtins = kinetrope::catalogue();
    std::vector<RudimentInfo> rows;
    rows.reserve(builtins.size() + patterns_.size());
    rows.insert(rows.end(), builtins.begin(), builtins.end());
    for (const SampledPattern& pattern : patterns_) rows.push_back(pattern.info());
    return rows;
}

}  // namespace kinetrope
