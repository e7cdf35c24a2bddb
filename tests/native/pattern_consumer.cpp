// A native caller that builds host data through the installed headers and
// answers queries read from stdin, one per line. Numbers are read and printed
// as hex floats so that the tests compare bits, not decimal text.
//   pattern <name> <count> <x y z>...   ->  ok <period_pips> <dimensions>
//   sample <pip>                        ->  x y z of the current pattern
//   move                                ->  moves the current pattern away; prints
//                                           the periods of source and target
//   recording <start_pip> <axis_count> <axis>... <row_count> <value>...
//                                       ->  ok <sample_count>
//   row <pip>                           ->  the values of the current recording
//   move_recording                      ->  moves the current recording away;
//                                           prints the row counts of source and target
//   keep                                ->  queues a copy of the current pattern for a library
//   keep_moved                          ->  queues the current pattern's moved-from husk
//   library                             ->  builds a library from the queue, emptying it;
//                                           ok <catalogue rows>
//   library_sample <name> <pip>         ->  x y z from the current library
// A failure prints the exception's kind and message instead.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "kinetrope/kinetrope.hpp"

namespace {

double read_double(std::istream& in) {
    std::string token;
    in >> token;
    return std::strtod(token.c_str(), nullptr);
}

struct Consumer {
    std::optional<kinetrope::SampledPattern> pattern;
    std::optional<kinetrope::SampledRecording> recording;
    std::vector<kinetrope::SampledPattern> queued;
    std::optional<kinetrope::PatternLibrary> library;

    void build_pattern(std::istream& in) {
        std::string name;
        std::size_t count = 0;
        in >> name >> count;
        std::vector<kinetrope::Offset3> samples(count);
        for (auto& s : samples) {
            s = {read_double(in), read_double(in), read_double(in)};
        }
        pattern.emplace(std::move(name), "made natively", std::move(samples));
        const kinetrope::RudimentInfo info = pattern->info();
        std::printf("ok %u %u\n", unsigned{info.period_pips}, unsigned{info.dimensions});
    }

    void sample_pattern(std::istream& in) const {
        int pip = 0;
        in >> pip;
        const kinetrope::Offset3 o = pattern.value().sample(pip);
        std::printf("%a %a %a\n", o.x, o.y, o.z);
    }

    void move_pattern() {
        const kinetrope::SampledPattern target = std::move(*pattern);
        std::printf("%u %u\n", unsigned{pattern->info().period_pips}, unsigned{target.info().period_pips});
    }

    void build_recording(std::istream& in) {
        int start_pip = 0;
        std::size_t axis_count = 0;
        std::size_t row_count = 0;
        in >> start_pip >> axis_count;
        std::vector<std::string> axes(axis_count);
        for (auto& axis : axes) {
            in >> axis;
        }
        in >> row_count;
        std::vector<std::vector<double>> rows(row_count, std::vector<double>(axis_count));
        for (auto& row : rows) {
            for (auto& value : row) {
                value = read_double(in);
            }
        }
        recording.emplace("native", std::move(axes), rows, 120.0, 0.0, start_pip);
        std::printf("ok %zu\n", recording->sample_count());
    }

    void sample_recording(std::istream& in) const {
        int pip = 0;
        in >> pip;
        const char* separator = "";
        for (const double value : recording.value().sample(pip)) {
            std::printf("%s%a", separator, value);
            separator = " ";
        }
        std::printf("\n");
    }

    void move_recording() {
        const kinetrope::SampledRecording target = std::move(*recording);
        std::printf("%zu %zu\n", recording->sample_count(), target.sample_count());
    }

    void keep_moved() {
        const kinetrope::SampledPattern target = std::move(*pattern);
        queued.push_back(*pattern);
    }

    void build_library() {
        std::vector<kinetrope::SampledPattern> given = std::move(queued);
        queued.clear();
        library.emplace(std::move(given));
        std::printf("ok %zu\n", library->catalogue().size());
    }

    void sample_library(std::istream& in) const {
        std::string name;
        int pip = 0;
        in >> name >> pip;
        const kinetrope::Offset3 o = library.value().sample(name, pip);
        std::printf("%a %a %a\n", o.x, o.y, o.z);
    }

    bool answer(const std::string& command, std::istream& in) {
        if (command == "pattern") {
            build_pattern(in);
        } else if (command == "sample") {
            sample_pattern(in);
        } else if (command == "move") {
            move_pattern();
        } else if (command == "recording") {
            build_recording(in);
        } else if (command == "row") {
            sample_recording(in);
        } else if (command == "move_recording") {
            move_recording();
        } else if (command == "keep") {
            queued.push_back(pattern.value());
        } else if (command == "keep_moved") {
            keep_moved();
        } else if (command == "library") {
            build_library();
        } else if (command == "library_sample") {
            sample_library(in);
        } else {
            return false;
        }
        return true;
    }
};

}  // namespace

int main() {
    Consumer consumer;
    std::string command;
    while (std::cin >> command) {
        try {
            if (!consumer.answer(command, std::cin)) {
                std::fprintf(stderr, "unknown query: %s\n", command.c_str());
                return 2;
            }
        } catch (const std::invalid_argument& e) {
            std::printf("invalid_argument %s\n", e.what());
        } catch (const std::out_of_range& e) {
            std::printf("out_of_range %s\n", e.what());
        } catch (const std::logic_error& e) {
            std::printf("logic_error %s\n", e.what());
        }
    }
    return 0;
}
