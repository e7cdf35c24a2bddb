#pragma once

#include <cstdio>
#include <iostream>
#include <string>

// Answers "<command> <arguments...>" queries from stdin until it ends.
// `answer(command, stream)` returns false for a command it does not know,
// which stops the program with exit status 2.
template <typename Answer>
int answer_queries(Answer answer) {
    std::string command;
    while (std::cin >> command) {
        if (!answer(command, std::cin)) {
            std::fprintf(stderr, "unknown query: %s\n", command.c_str());
            return 2;
        }
    }
    return 0;
}
