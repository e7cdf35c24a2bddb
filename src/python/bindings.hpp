#pragma once

#include <pybind11/pybind11.h>

// Class bindings that live outside module.cpp; the module body calls them in
// registration order.
void bind_sampled_recording(pybind11::module_& m);
void bind_sampled_pattern(pybind11::module_& m);
