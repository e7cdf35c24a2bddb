// Times kinetrope::grooves::render for the score file given (all sixteen
// motions), and reading the same tables from the catalogue by name for every
// pip, whose names are the further arguments. Prints microseconds: render,
// then catalogue, each the best of many runs.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "kinetrope/catalogue.hpp"
#include "kinetrope/grooves.hpp"

template <typename Work>
double best_microseconds(Work work, int runs) {
    double best = 1e300;
    for (int r = 0; r < runs; ++r) {
        const auto start = std::chrono::steady_clock::now();
        work();
        const auto end = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double, std::micro>(end - start).count());
    }
    return best;
}

int main(int argc, char** argv) {
    std::ifstream in(argv[1]);
    std::stringstream text;
    text << in.rdbuf();
    const kinetrope::grooves::DrumPart part = kinetrope::grooves::parse_score(text.str());
    volatile double sink = 0.0;
    const double render = best_microseconds([&] {
        for (const auto& table : kinetrope::grooves::render(part)) sink = sink + table.samples.back().x;
    }, 50);
    const double lookup = best_microseconds([&] {
        for (int a = 2; a < argc; ++a)
            for (int p = 0; p < part.period(); ++p) sink = sink + kinetrope::sample(argv[a], p).x;
    }, 50);
    std::printf("%.1f %.1f\n", render, lookup);
}
