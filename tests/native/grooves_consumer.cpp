// Reads score text on stdin and renders it with the installed grooves engine:
// per motion a line "<suffix> <dimensions>" and then one line of hex floats a
// pip; or "refused <message>".
#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>

#include "kinetrope/grooves.hpp"

int main() {
    const std::string text{std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
    try {
        for (const auto& table : kinetrope::grooves::render(kinetrope::grooves::parse_score(text))) {
            std::printf("%.*s %d\n", int(table.suffix.size()), table.suffix.data(), table.dimensions);
            for (const kinetrope::Offset3& s : table.samples) std::printf("%a %a %a\n", s.x, s.y, s.z);
        }
    } catch (const kinetrope::grooves::PartError& error) {
        std::printf("refused %s\n", error.what());
    }
}
