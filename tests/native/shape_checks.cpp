// Drives the table generator's shared shapes and checks from stdin, one query
// a line, so the tests can compare them with values worked out by hand.
//   smootherstep <u>                         -> value
//   keyframes <N> <k> (<pip> <value>){k}     -> N values
//   distance <pip> <onset> <N>               -> signed loop distance
//   bump <distance> <half width>             -> raised cosine
//   score <N> <k> (<onset> <x> <y> <z> <w>){k} -> N samples
//   normalise <peak> <k> (<x> <y> <z>){k}    -> k samples
//   euclid <k> <n>                           -> onset steps
//   round <value>                            -> value rounded to 12 decimals
//   closes <k> (<x> <y> <z>){k}              -> 1 or 0
//   check <name> <period> <dims> <description bytes> <k> (<x> <y> <z>){k}
//                                            -> "ok" or the generator's complaint
#include <cstdio>
#include <iostream>
#include <stdexcept>
#include <string>

#include "catalogue/generator/invariants.hpp"
#include "catalogue/generator/shared/shapes.hpp"
#include "query_loop.hpp"

using namespace kinetrope_tablegen;

namespace {

double read_double(std::istream& in) {
    std::string text;
    in >> text;
    return std::stod(text);
}

Offset3 read_offset(std::istream& in) {
    const double x = read_double(in);
    const double y = read_double(in);
    return {x, y, read_double(in)};
}

Table read_table(std::istream& in) {
    int count = 0;
    in >> count;
    Table table;
    for (int i = 0; i < count; ++i) table.push_back(read_offset(in));
    return table;
}

void print(double v) { std::printf("%a\n", v); }
void print(const Offset3& o) { std::printf("%a %a %a\n", o.x, o.y, o.z); }

void keyframes(std::istream& in) {
    int period = 0, count = 0;
    in >> period >> count;
    std::vector<Keyframe> keys;
    for (int i = 0; i < count; ++i) {
        const double pip = read_double(in);
        keys.push_back({pip, read_double(in)});
    }
    for (double v : keyframe_track(period, keys)) print(v);
}

void score(std::istream& in) {
    int period = 0, count = 0;
    in >> period >> count;
    std::vector<Pulse> pulses;
    for (int i = 0; i < count; ++i) {
        const double onset = read_double(in);
        const Offset3 vector = read_offset(in);
        pulses.push_back({onset, vector, read_double(in)});
    }
    for (const Offset3& s : pulse_score(period, pulses)) print(s);
}

void check(std::istream& in) {
    AuthoredPattern pattern;
    std::size_t description_bytes = 0;
    in >> pattern.name >> pattern.period_pips >> pattern.dimensions >> description_bytes;
    pattern.description.assign(description_bytes, 'd');
    pattern.samples = read_table(in);
    try {
        check_pattern(pattern);
        std::printf("ok\n");
    } catch (const std::runtime_error& error) {
        std::printf("%s\n", error.what());
    }
}

bool answer(const std::string& command, std::istream& in) {
    if (command == "smootherstep")
        print(smootherstep(read_double(in)));
    else if (command == "keyframes")
        keyframes(in);
    else if (command == "distance") {
        const double pip = read_double(in), onset = read_double(in);
        int period = 0;
        in >> period;
        print(loop_distance(pip, onset, period));
    } else if (command == "bump") {
        const double d = read_double(in);
        print(raised_cosine(d, read_double(in)));
    } else if (command == "score")
        score(in);
    else if (command == "normalise") {
        const double peak = read_double(in);
        Table table = read_table(in);
        normalise_peak(table, peak);
        for (const Offset3& s : table) print(s);
    } else if (command == "euclid") {
        int k = 0, n = 0;
        in >> k >> n;
        for (int step : euclidean_onsets(k, n)) std::printf("%d ", step);
        std::printf("\n");
    } else if (command == "round")
        print(round_to_12_decimals(read_double(in)));
    else if (command == "closes")
        std::printf("%d\n", closes_as_loop(read_table(in)) ? 1 : 0);
    else if (command == "check")
        check(in);
    else
        return false;
    return true;
}

}  // namespace

int main() { return answer_queries(answer); }
