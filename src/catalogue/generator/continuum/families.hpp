#pragma once

#include <vector>

#include "catalogue/generator/pattern.hpp"

// The continuum collection's twenty families of sixteen rows each, one
// function per family, returning its rows in registry order.
namespace kinetrope_tablegen::continuum {

using Family = std::vector<AuthoredPattern>;

// Closed harmonic curves (continuum_curves.cpp).
Family ribbons();
Family shaped_contours();
Family harmonic_silhouettes();
Family surface_paths();
Family braids();
Family coupled_arms();

// Paths through authored points with eased timing (continuum_routes.cpp).
Family splines();
Family vertex_tours();
Family scans();
Family reaches();
Family dwell_phrases();
Family packets();

// Rhythmic phrases of the gesture vocabulary (continuum_phrases.cpp).
Family canons();
Family echoes();
Family ladders();
Family necklaces();
Family accent_walks();
Family triplet_studies();
Family dialogues();
Family bursts();

}  // namespace kinetrope_tablegen::continuum
