// Reads groove scores with the table generator's own reader, one query a line:
//   score <path>  -> "period <N>", then "<voice number> <pip> <velocity>
//                    <length> <swell>" per event in hex floats (swell 0 or
//                    1), or "refused <message>"
#include <cstdio>
#include <iostream>
#include <stdexcept>
#include <string>

#include "catalogue/generator/beats/score.hpp"
#include "query_loop.hpp"

using namespace kinetrope_tablegen;

int main() {
    return answer_queries([](const std::string& command, std::istream& in) {
        if (command != "score") return false;
        std::string path;
        in >> path;
        try {
            const DrumPart score = read_score(path);
            std::printf("period %d\n", score.period());
            for (const DrumEvent& e : score.events) std::printf("%d %a %a %a %d\n", int(e.voice), e.pip, e.velocity, e.length, int(e.swell));
        } catch (const std::exception& error) {
            std::printf("refused %s\n", error.what());
        }
        std::printf("end\n");
        return true;
    });
}
