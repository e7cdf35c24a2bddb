// Prints the generator's SHA-256 digest, in hex, of each line on stdin; the
// line "million-a" stands for one million letters a.
#include <cstdio>
#include <iostream>
#include <string>

#include "catalogue/generator/atlas/sha256.hpp"

int main() {
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line == "million-a") line = std::string(1000000, 'a');
        for (std::uint8_t byte : kinetrope_tablegen::sha256(line)) std::printf("%02x", byte);
        std::printf("\n");
    }
}
