#pragma once

#include <pybind11/pybind11.h>

#include <stdexcept>
#include <string_view>
#include <vector>

#include "kinetrope/rudiment_info.hpp"
#include "python/casters.hpp"

// Class bindings that live outside module.cpp; the module body calls them in
// registration order.
void bind_sampled_recording(pybind11::module_& m);
void bind_sampled_pattern(pybind11::module_& m);
void bind_pattern_library(pybind11::module_& m);

// Catalogue rows as Python sees them: a new list of new dicts with the keys
// "name", "description", "period_pips", "dimensions", in that order.
pybind11::dict catalogue_dict(const kinetrope::RudimentInfo& row);
pybind11::list catalogue_list(const std::vector<kinetrope::RudimentInfo>& rows);

// Raises ValueError with the whole of the unknown-name message if `error` is
// that message for `name` cut short at a NUL byte of the name; else returns.
void raise_with_whole_name(const std::invalid_argument& error, std::string_view name);

// The core's message for an unknown name is its fixed text followed by the
// whole name, but what() is a C string and stops at a NUL the name may hold.
// Both lookups that take a name run through this, which puts the rest back.
template <typename Lookup>
auto with_whole_name(std::string_view name, Lookup&& lookup) {
    try {
        return lookup();
    } catch (const std::invalid_argument& error) {
        raise_with_whole_name(error, name);
        throw;
    }
}
