// Nanoseconds per call of each formula pattern, called through the symbols
// the installed module exports. Prints one "name ns" line per pattern.
#include <chrono>
#include <cstdio>

#include "formula_functions.hpp"

namespace {

constexpr int calls = 2'000'000;

double nanoseconds_per_call(kinetrope::Sampler sampler) {
    volatile double sink = 0.0;
    const auto start = std::chrono::steady_clock::now();
    for (int pip = 0; pip < calls; ++pip) {
        const kinetrope::Offset3 o = sampler(pip);
        sink = sink + o.x + o.y + o.z;  // keeps every call observable
    }
    const std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - start;
    return elapsed.count() / calls;
}

}  // namespace

int main() {
    for (const auto& [name, sampler] : formula_functions) {
        std::printf("%.*s %.2f\n", static_cast<int>(name.size()), name.data(), nanoseconds_per_call(sampler));
    }
    return 0;
}
