#include <pybind11/pybind11.h>

#include <string>
#include <tuple>

#include "core/formula_patterns.hpp"
#include "kinetrope/pip.hpp"

namespace py = pybind11;

namespace {

using kinetrope::Offset3;

void bind_offset3(py::module_& m) {
    py::class_<Offset3>(m, "Offset3")
        .def_readonly("x", &Offset3::x)
        .def_readonly("y", &Offset3::y)
        .def_readonly("z", &Offset3::z)
        .def("as_tuple", [](const Offset3& o) { return std::tuple<double, double, double>{o.x, o.y, o.z}; });
}

// One positional, unnamed pip per function, bound straight to the core.
void bind_formula_patterns(py::module_& m) {
    for (const auto& pattern : kinetrope::detail::formula_patterns) {
        m.def(std::string(pattern.info.name).c_str(), pattern.sampler);
    }
}

}  // namespace

// Registration order is part of the module's surface: host recordings come
// first, then Offset3, host patterns and pattern packs, the name lookup
// functions, and the formula patterns last.
PYBIND11_MODULE(kinetrope, m) {
    m.doc() = "Integer-pip rhythmic position functions";
    m.attr("PIPS_PER_BEAT") = kinetrope::PIPS_PER_BEAT;
    // SampledRecording is registered here.
    bind_offset3(m);
    // SampledPattern, PatternLibrary, sample and catalogue are registered here.
    bind_formula_patterns(m);
}
