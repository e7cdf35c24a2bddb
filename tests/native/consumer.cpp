// A native caller of the installed module: answers queries read from stdin,
// one per line, so the tests can compare it with the Python surface.
//   wrap <pip> <period>  ->  kinetrope::wrap_pip(pip, period)
//   <pattern> <pip>      ->  x y z of that formula pattern, as hex floats
#include <cstdio>
#include <iostream>
#include <kinetrope/kinetrope.hpp>
#include <map>
#include <string>

namespace {

const std::map<std::string, kinetrope::Sampler> formula_patterns{
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

bool answer(const std::string& command, std::istream& in) {
    if (command == "wrap") {
        int pip = 0;
        int period = 0;
        in >> pip >> period;
        std::printf("%d\n", kinetrope::wrap_pip(pip, period));
        return true;
    }
    const auto found = formula_patterns.find(command);
    if (found == formula_patterns.end()) {
        return false;
    }
    int pip = 0;
    in >> pip;
    const kinetrope::Offset3 o = found->second(pip);
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
