#pragma once

#include <pybind11/pybind11.h>

#include <vector>

#include "kinetrope/rudiment_info.hpp"

// Class bindings that live outside module.cpp; the module body calls them in
// registration order.
void bind_sampled_recording(pybind11::module_& m);
void bind_sampled_pattern(pybind11::module_& m);
void bind_pattern_library(pybind11::module_& m);

// Catalogue rows as Python sees them: a new list of new dicts with the keys
// "name", "description", "period_pips", "dimensions", in that order.
pybind11::dict catalogue_dict(const kinetrope::RudimentInfo& row);
pybind11::list catalogue_list(const std::vector<kinetrope::RudimentInfo>& rows);
