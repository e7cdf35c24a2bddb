// Nanoseconds per kinetrope::sample(name, pip) for the names given on the
// command line, each next to a std::unordered_map<std::string_view, Sampler>
// lookup of the same name. The map holds every built-in name; its entries
// come from a generated include (MAP_ENTRIES) listing name/sampler pairs.
// Prints "name lookup_ns map_ns" per name.
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string_view>
#include <unordered_map>

#include "formula_functions.hpp"
#include "kinetrope/kinetrope.hpp"

namespace {

constexpr int calls = 1'000'000;

const std::unordered_map<std::string_view, kinetrope::Sampler>& sampler_map() {
    static const std::unordered_map<std::string_view, kinetrope::Sampler> map = [] {
        std::unordered_map<std::string_view, kinetrope::Sampler> m(formula_functions.begin(), formula_functions.end());
        m.insert({
#include MAP_ENTRIES
        });
        return m;
    }();
    return map;
}

template <typename Lookup>
double nanoseconds_per_call(Lookup lookup) {
    volatile double sink = 0.0;
    const auto start = std::chrono::steady_clock::now();
    for (int pip = 0; pip < calls; ++pip) sink = sink + lookup(pip).x;
    const std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - start;
    return elapsed.count() / calls;
}

// Unknown names: the lookup throws, the map answers with a zero offset.
kinetrope::Offset3 through_lookup(std::string_view name, int pip) {
    try {
        return kinetrope::sample(name, pip);
    } catch (const std::invalid_argument&) {
        return {};
    }
}

kinetrope::Offset3 through_map(std::string_view name, int pip) {
    const auto& map = sampler_map();
    const auto found = map.find(name);
    return found == map.end() ? kinetrope::Offset3{} : found->second(pip);
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        // Copied into a buffer the optimiser cannot see through.
        volatile const char* text = argv[i];
        const std::string_view name(const_cast<const char*>(text));
        const double lookup = nanoseconds_per_call([name](int pip) { return through_lookup(name, pip); });
        const double map = nanoseconds_per_call([name](int pip) { return through_map(name, pip); });
        std::printf("%s %.2f %.2f\n", argv[i], lookup, map);
    }
    return 0;
}
