// Nanoseconds per call of each formula pattern, called through the symbols
// the installed module exports. Prints one "name ns" line per pattern.
#include <kinetrope/kinetrope.hpp>

#include <chrono>
#include <cstdio>
#include <utility>

namespace {

constexpr int calls = 2'000'000;

const std::pair<const char*, kinetrope::Sampler> patterns[] = {
    {"bounce", kinetrope::bounce},
    {"sway", kinetrope::sway},
    {"circle", kinetrope::circle},
    {"figure_eight", kinetrope::figure_eight},
    {"step_touch", kinetrope::step_touch},
    {"box_step", kinetrope::box_step},
    {"helix", kinetrope::helix},
    {"loam_background", kinetrope::loam_background},
    {"single_stroke_roll", kinetrope::single_stroke_roll},
    {"double_stroke_roll", kinetrope::double_stroke_roll},
    {"multiple_bounce_roll", kinetrope::multiple_bounce_roll},
    {"single_paradiddle", kinetrope::single_paradiddle},
    {"flam", kinetrope::flam},
    {"drag", kinetrope::drag},
    {"five_stroke_roll", kinetrope::five_stroke_roll},
};

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
    for (const auto& [name, sampler] : patterns) {
        std::printf("%s %.2f\n", name, nanoseconds_per_call(sampler));
    }
    return 0;
}
