// Samples the patterns named on the command line through the installed
// package: each argument pair <name> <pip> prints x y z as hex floats (or the
// error message), then the catalogue's row count.
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "kinetrope/kinetrope.hpp"

int main(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const int pip = std::atoi(argv[i + 1]);
        try {
            const kinetrope::Offset3 o = kinetrope::sample(argv[i], pip);
            std::printf("%a %a %a\n", o.x, o.y, o.z);
        } catch (const std::invalid_argument& error) {
            std::printf("error %s\n", error.what());
        }
    }
    std::printf("%zu\n", kinetrope::catalogue().size());
}
