// A native caller of the installed module: answers queries read from stdin,
// one per line, so the tests can compare it with the Python surface.
//   wrap <pip> <period>  ->  kinetrope::wrap_pip(pip, period)
//   <pattern> <pip>      ->  x y z of that formula pattern, as hex floats
//   lookup <name> <pip>  ->  x y z of kinetrope::sample, or the error message
//   breathe <pip>        ->  lfo_breathe through its sampler, then its table
//   catalogue            ->  row count, then every row's name and period
#include <cstdio>
#include <iostream>
#include <stdexcept>
#include <string>

#include "formula_functions.hpp"
#include "kinetrope/kinetrope.hpp"
#include "query_loop.hpp"

namespace {

kinetrope::Sampler find_formula(std::string_view name) {
    for (const auto& [candidate, sampler] : formula_functions) {
        if (candidate == name) {
            return sampler;
        }
    }
    return nullptr;
}

void print(const kinetrope::Offset3& o) { std::printf("%a %a %a\n", o.x, o.y, o.z); }

void lookup(std::istream& in) {
    std::string name;
    int pip = 0;
    in >> name >> pip;
    try {
        print(kinetrope::sample(name, pip));
    } catch (const std::invalid_argument& error) {
        std::printf("error %s\n", error.what());
    }
}

void breathe(std::istream& in) {
    int pip = 0;
    in >> pip;
    print(kinetrope_initial::sample_lfo_breathe(pip));
    print(kinetrope_initial::table_lfo_breathe[kinetrope::wrap_pip(pip, 256)]);
}

void list_catalogue() {
    const auto& rows = kinetrope::catalogue();
    std::printf("%zu\n", rows.size());
    for (const auto& row : rows) std::printf("%.*s %u\n", int(row.name.size()), row.name.data(), row.period_pips);
}

bool answer(const std::string& command, std::istream& in) {
    if (command == "lookup") {
        lookup(in);
        return true;
    }
    if (command == "breathe") {
        breathe(in);
        return true;
    }
    if (command == "catalogue") {
        list_catalogue();
        return true;
    }
    if (command == "wrap") {
        int pip = 0;
        int period = 0;
        in >> pip >> period;
        std::printf("%d\n", kinetrope::wrap_pip(pip, period));
        return true;
    }
    const kinetrope::Sampler sampler = find_formula(command);
    if (sampler == nullptr) {
        return false;
    }
    int pip = 0;
    in >> pip;
    print(sampler(pip));
    return true;
}

}  // namespace

int main() { return answer_queries(answer); }
