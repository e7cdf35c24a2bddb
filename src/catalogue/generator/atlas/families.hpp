#pragma once

#include <filesystem>
#include <vector>

#include "catalogue/generator/pattern.hpp"

// The atlas collection's families, each group appending its rows in
// registry order. One file per group: atlas_<group>.cpp.
namespace kinetrope_tablegen::atlas {

using Rows = std::vector<AuthoredPattern>;

void add_waves(Rows& rows);       // wave
void add_envelopes(Rows& rows);   // env
void add_sequences(Rows& rows);   // seq
void add_noise(Rows& rows);       // noise
void add_orbits(Rows& rows);      // orbit_harmonic, weave
void add_polar(Rows& rows);       // polar_rose, polar_scallop, spiro_inside, spiro_outside
void add_space(Rows& rows);       // space_torus, space_weave
void add_mechanisms(Rows& rows);  // mech
void add_rhythms(Rows& rows);     // euclid, poly, meter, swing, stick_study
void add_gestures(Rows& rows);    // gesture

}  // namespace kinetrope_tablegen::atlas
