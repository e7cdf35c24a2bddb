// Atlas closed-path families: orbit_harmonic, weave, polar_rose,
// polar_scallop, spiro_inside, spiro_outside, space_torus and space_weave.
// Each is one parametric formula over the loop's phase, peak-normalised.

#include <cmath>
#include <string>

#include "catalogue/generator/atlas/families.hpp"
#include "catalogue/generator/atlas/family_shapes.hpp"

namespace kinetrope_tablegen::atlas {

namespace {

// orbit_harmonic_j: an ellipse with a horizontal ripple of m + 1 and a
// vertical one of m + 2 cycles, both of depth c; rows 9 to 16 add a phase.
Table orbit_harmonic(int j, double c) {
    const int m = ((j - 1) % 8) + 1;
    const double psi = j <= 8 ? 0.0 : 0.5 + 0.3 * (j - 9);
    return normalised_formula(eight_beats, [=](int, double t) {
        return Offset3{std::cos(t) + c * std::cos((m + 1) * t + psi),
                       0.72 * std::sin(t) - c * std::sin((m + 2) * t - psi), 0.0};
    });
}

Table weave(int a, int b) {
    return normalised_formula(sixteen_beats, [=](int, double t) {
        return Offset3{0.8 * std::sin(a * t + 0.37), 0.65 * std::sin(b * t), 0.0};
    });
}

// Odd roses close after half a turn, so their angle runs through pi only.
Table polar_rose(int k) {
    return normalised_formula(sixteen_beats, [=](int p, double t) {
        const double angle = k % 2 == 1 ? pi * p / sixteen_beats : t;
        const double r = k % 2 == 1 ? 0.82 * std::cos(k * angle) : 0.82 * std::cos((k / 2) * angle);
        return Offset3{r * std::cos(angle), r * std::sin(angle), 0.0};
    });
}

Table polar_scallop(int k) {
    return normalised_formula(sixteen_beats, [=](int, double t) {
        const double r = 0.58 + 0.24 * std::cos(k * t + 0.2 * std::sin(t));
        return Offset3{r * std::cos(t), r * std::sin(t), 0.0};
    });
}

struct SpiroRow {
    int big_r, small_r;
    double pen_ratio;
};

const SpiroRow spiro_rows[] = {{3, 1, 0.45}, {4, 1, 0.60}, {5, 2, 0.75}, {5, 1, 0.55},
                               {7, 2, 0.65}, {7, 3, 0.70}, {8, 3, 0.60}, {9, 4, 0.80}};

Table spiro_inside(const SpiroRow& row) {
    const double R = row.big_r, r = row.small_r, d = row.pen_ratio * r;
    return normalised_formula(sixteen_beats, [=](int, double t) {
        return Offset3{(R - r) * std::cos(r * t) + d * std::cos((R - r) * t),
                       (R - r) * std::sin(r * t) - d * std::sin((R - r) * t), 0.0};
    });
}

Table spiro_outside(const SpiroRow& row) {
    const double R = row.big_r, r = row.small_r, d = row.pen_ratio * r;
    return normalised_formula(sixteen_beats, [=](int, double t) {
        return Offset3{(R + r) * std::cos(r * t) - d * std::cos((R + r) * t),
                       (R + r) * std::sin(r * t) - d * std::sin((R + r) * t), 0.0};
    });
}

Table space_torus(int p_turns, int q_turns) {
    return normalised_formula(sixteen_beats, [=](int, double t) {
        const double rho = 0.29 + 0.1 * std::cos(q_turns * t);
        return Offset3{rho * std::cos(p_turns * t), rho * std::sin(p_turns * t), 0.21 * std::sin(q_turns * t)};
    });
}

Table space_weave(int a, int b, int c) {
    return normalised_formula(sixteen_beats, [=](int, double t) {
        return Offset3{std::sin(a * t), 0.8 * std::sin(b * t + 0.4), 0.7 * std::cos(c * t + 0.7)};
    });
}

}  // namespace

void add_orbits(Rows& rows) {
    const double ripple_depth[] = {0.18, 0.22, 0.25, 0.28, 0.25, 0.20, 0.15, 0.13,
                                   0.34, 0.31, 0.29, 0.26, 0.23, 0.20, 0.17, 0.14};
    for (int j = 1; j <= 16; ++j)
        rows.push_back(make_pattern("orbit_harmonic_" + two_digits(j), eight_beats, 2,
                                    "An ellipse combined with unequal horizontal and vertical harmonic ripples.",
                                    orbit_harmonic(j, ripple_depth[j - 1])));
    const int weaves[][2] = {{1, 3}, {1, 4}, {1, 5}, {2, 5}, {2, 7}, {3, 4}, {3, 5}, {3, 7},
                             {3, 8}, {4, 5}, {4, 7}, {4, 9}, {5, 6}, {5, 7}, {5, 8}, {5, 9}};
    for (const auto& ab : weaves) {
        const std::string a = std::to_string(ab[0]), b = std::to_string(ab[1]);
        rows.push_back(
            make_pattern("weave_" + a + "_" + b, sixteen_beats, 2,
                         a + " horizontal and " + b + " vertical cycles; a phase-offset, closed 16-beat traversal.",
                         weave(ab[0], ab[1])));
    }
}

void add_polar(Rows& rows) {
    for (int k : {3, 6, 7, 8, 9, 10, 11, 12})
        rows.push_back(make_pattern(
            "polar_rose_" + std::to_string(k), sixteen_beats, 2,
            "A complete signed-radius rose traversal; odd-petal roses use a half-turn parameter.", polar_rose(k)));
    for (int k = 2; k <= 9; ++k)
        rows.push_back(
            make_pattern("polar_scallop_" + std::to_string(k), sixteen_beats, 2,
                         "A positive-radius scalloped loop; no centre crossings, with an asymmetrically bent lobe.",
                         polar_scallop(k)));
    for (const SpiroRow& row : spiro_rows) {
        const int rr[] = {row.big_r, row.small_r};
        rows.push_back(
            make_pattern("spiro_inside_" + underscored(rr), sixteen_beats, 2,
                         "A closed inside-rolling circle trace, with pen radius smaller than the rolling radius.",
                         spiro_inside(row)));
    }
    for (const SpiroRow& row : spiro_rows) {
        const int rr[] = {row.big_r, row.small_r};
        rows.push_back(
            make_pattern("spiro_outside_" + underscored(rr), sixteen_beats, 2,
                         "A closed outside-rolling circle trace, with pen radius smaller than the rolling radius.",
                         spiro_outside(row)));
    }
}

void add_space(Rows& rows) {
    const int tori[][2] = {{2, 5}, {2, 7}, {3, 4}, {3, 5}, {3, 7}, {4, 5}, {4, 7}, {5, 6}};
    for (const auto& pq : tori)
        rows.push_back(make_pattern("space_torus_" + underscored(pq), sixteen_beats, 3,
                                    "A genuine XYZ closed torus-knot trajectory. The demo uses an oblique projection.",
                                    space_torus(pq[0], pq[1])));
    const int weaves[][3] = {{1, 2, 3}, {1, 3, 4}, {2, 3, 4}, {2, 3, 7}, {2, 5, 7}, {3, 4, 5}, {3, 5, 7}, {4, 5, 7}};
    for (const auto& abc : weaves)
        rows.push_back(make_pattern("space_weave_" + underscored(abc), sixteen_beats, 3,
                                    "Three coprime-frequency coordinate lanes with distinct phase offsets.",
                                    space_weave(abc[0], abc[1], abc[2])));
}

}  // namespace kinetrope_tablegen::atlas
