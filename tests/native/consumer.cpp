// A native caller of the installed module: answers queries read from stdin,
// one per line, so the tests can compare it with the Python surface.
//   wrap <pip> <period>  ->  kinetrope::wrap_pip(pip, period)
//   <pattern> <pip>      ->  x y z of that formula pattern, as hex floats
#include <cstdio>
#include <iostream>
#include <string>

#include "formula_functions.hpp"

namespace {

kinetrope::Sampler find_formula(std::string_view name) {
    for (const auto& [candidate, sampler] : formula_functions) {
        if (candidate == name) {
            return sampler;
        }
    }
    return nullptr;
}

bool answer(const std::string& command, std::istream& in) {
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
    const kinetrope::Offset3 o = sampler(pip);
    std::printf("%a %a %a\n", o.x, o.y, o.z);
    return true;
}

}  // namespace

int main() {
    std::string command;
    while (std::cin >> command) {
        if (!answer(command, std::cin)) {
            std::fprintf(stderr, "unknown query: %s\n", command.c_str());
            return 2;
        }
    }
    return 0;
}
