// The native share of building a 1024-pattern pack: copying the patterns (what
// the Python list conversion does) against the library's own checks and moves,
// and the comparison of exact built-in copies. Prints "label: milliseconds"
// lines, best of several runs.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "kinetrope/kinetrope.hpp"

namespace {

constexpr int runs = 10;
constexpr std::size_t pack_patterns = 1024;
constexpr int pack_samples = 1024;

std::vector<kinetrope::SampledPattern> full_pack() {
    std::vector<kinetrope::Offset3> samples(pack_samples);
    for (int i = 0; i < pack_samples; ++i) samples[i] = {(i % 257 - 128) / 128.0, (i % 129 - 64) / 64.0, 0.0};
    std::vector<kinetrope::SampledPattern> pack;
    for (std::size_t i = 0; i < pack_patterns; ++i) pack.emplace_back("pattern_" + std::to_string(i), "", samples);
    return pack;
}

// As many exact copies of built-ins as the pack's limits allow.
std::vector<kinetrope::SampledPattern> builtin_copies() {
    std::vector<kinetrope::SampledPattern> copies;
    std::size_t total = 0;
    for (const kinetrope::RudimentInfo& row : kinetrope::catalogue()) {
        total += row.period_pips;
        if (copies.size() == pack_patterns || total > kinetrope::PatternLibrary::max_total_samples) break;
        std::vector<kinetrope::Offset3> samples(row.period_pips);
        for (int pip = 0; pip < row.period_pips; ++pip) samples[pip] = kinetrope::sample(row.name, pip);
        copies.emplace_back(std::string(row.name), std::string(row.description), std::move(samples));
    }
    return copies;
}

template <typename Action>
double best_milliseconds(Action action) {
    double best = 1e300;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        action();
        const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
        best = std::min(best, elapsed.count());
    }
    return best;
}

// Times the constructor alone: the copy it is given is made outside the clock.
double construct_milliseconds(const std::vector<kinetrope::SampledPattern>& pack) {
    double best = 1e300;
    for (int run = 0; run < runs; ++run) {
        std::vector<kinetrope::SampledPattern> given = pack;
        const auto start = std::chrono::steady_clock::now();
        const kinetrope::PatternLibrary library(std::move(given));
        const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
        best = std::min(best, elapsed.count());
    }
    return best;
}

}  // namespace

int main() {
    const std::vector<kinetrope::SampledPattern> pack = full_pack();
    std::printf("copy of 1024 patterns (what conversion does): %.3f\n", best_milliseconds([&] {
                    const std::vector<kinetrope::SampledPattern> copy = pack;
                    return copy.size();
                }));
    std::printf("constructor on them (checks and moves): %.3f\n", construct_milliseconds(pack));
    const std::vector<kinetrope::SampledPattern> copies = builtin_copies();
    std::size_t copy_samples = 0;
    for (const auto& p : copies) copy_samples += p.sample_count();
    std::printf("constructor on %zu built-in copies, %zu samples: %.3f\n", copies.size(), copy_samples,
                construct_milliseconds(copies));
    return 0;
}
