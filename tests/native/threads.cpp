// Several threads ask for the catalogue for the first time at once, then
// sample every listed pattern. All of them must get the same list object and
// bit-identical values; the program checks that itself (exit status 1 and a
// message otherwise) and then prints what the threads agreed on:
//   rows <count>
//   <name> <period> <x y z at each probe pip, as hex floats>   (one per row)
// Built once against the installed module and once with ThreadSanitizer.
#include <climits>
#include <cstdio>
#include <cstring>
#include <latch>
#include <thread>
#include <vector>

#include "kinetrope/catalogue.hpp"

namespace {

constexpr int thread_count = 8;

// Pips at both 32-bit ends and around zero, different for every row.
std::vector<int> probe_pips(std::size_t row) {
    const int k = static_cast<int>(row);
    return {0, k - 700, INT_MIN + k, INT_MAX - k};
}

struct Seen {
    const std::vector<kinetrope::RudimentInfo>* list = nullptr;
    std::vector<kinetrope::Offset3> samples;  // row by row, probe pips in order
};

// Each thread walks the rows from its own starting point, so the threads
// sample different patterns at the same moment.
void run(int id, std::latch& start, Seen& seen) {
    start.arrive_and_wait();
    const auto& rows = kinetrope::catalogue();
    seen.list = &rows;
    const std::size_t n = rows.size();
    seen.samples.resize(n * 4);
    for (std::size_t step = 0; step < n; ++step) {
        const std::size_t row = (step + static_cast<std::size_t>(id) * n / thread_count) % n;
        const std::vector<int> pips = probe_pips(row);
        for (std::size_t p = 0; p < pips.size(); ++p) {
            seen.samples[row * 4 + p] = kinetrope::sample(rows[row].name, pips[p]);
        }
    }
}

}  // namespace

int main() {
    std::latch start(thread_count);
    std::vector<Seen> seen(thread_count);
    std::vector<std::thread> threads;
    for (int id = 0; id < thread_count; ++id) threads.emplace_back(run, id, std::ref(start), std::ref(seen[id]));
    for (std::thread& t : threads) t.join();

    for (const Seen& s : seen) {
        const bool same = s.list == seen[0].list && std::memcmp(s.samples.data(), seen[0].samples.data(),
                                                                s.samples.size() * sizeof(kinetrope::Offset3)) == 0;
        if (!same) {
            std::fprintf(stderr, "threads disagree on the catalogue or on a sample\n");
            return 1;
        }
    }
    const auto& rows = *seen[0].list;
    std::printf("rows %zu\n", rows.size());
    for (std::size_t row = 0; row < rows.size(); ++row) {
        std::printf("%.*s %u", static_cast<int>(rows[row].name.size()), rows[row].name.data(), rows[row].period_pips);
        for (std::size_t p = 0; p < 4; ++p) {
            const kinetrope::Offset3& o = seen[0].samples[row * 4 + p];
            std::printf(" %a %a %a", o.x, o.y, o.z);
        }
        std::printf("\n");
    }
    return 0;
}
