#include <pybind11/pybind11.h>

#include <string>
#include <tuple>

#include "core/formula_patterns.hpp"
#include "kinetrope/catalogue.hpp"
#include "kinetrope/pip.hpp"
#include "python/bindings.hpp"

namespace py = pybind11;

// Conversions are chosen by native parameter type only, so that pybind11's
// standard casters and exception translation do all the work:
//   pip (int)                 int, bool, __index__; a float is refused; implicit
//                             conversion also takes int() of other numbers;
//                             strict parameters are marked .noconvert()
//   name (std::string_view)   str as UTF-8, bytes, bytearray; viewed, not copied
//   text (std::string)        as the view, but copied for constructors to keep
//   list (std::vector<T>)     sequences but str/bytes; with implicit conversion
//                             also generators, sets, dict views, map and zip
//   triple (std::array<double, 3>)  a list conversion of exactly three floats
// Results: Offset3 as a new object; text as a new str, decoded strictly.

namespace {

using kinetrope::Offset3;

void bind_offset3(py::module_& m) {
    py::class_<Offset3>(m, "Offset3")
        .def_readonly("x", &Offset3::x)
        .def_readonly("y", &Offset3::y)
        .def_readonly("z", &Offset3::z)
        .def("as_tuple", [](const Offset3& o) { return std::tuple<double, double, double>{o.x, o.y, o.z}; });
}

void bind_lookup(py::module_& m) {
    m.def("sample", &kinetrope::sample, py::arg("name"), py::arg("pip_count"));
    m.def("catalogue", [] { return catalogue_list(kinetrope::catalogue()); });
}

// One positional, unnamed pip per function, bound straight to the core.
void bind_formula_patterns(py::module_& m) {
    for (const auto& pattern : kinetrope::detail::formula_patterns) {
        m.def(std::string(pattern.info.name).c_str(), pattern.sampler);
    }
}

}  // namespace

py::dict catalogue_dict(const kinetrope::RudimentInfo& row) {
    py::dict entry;
    entry["name"] = py::str(row.name.data(), row.name.size());
    entry["description"] = py::str(row.description.data(), row.description.size());
    entry["period_pips"] = row.period_pips;
    entry["dimensions"] = row.dimensions;
    return entry;
}

py::list catalogue_list(const std::vector<kinetrope::RudimentInfo>& rows) {
    py::list list;
    for (const auto& row : rows) list.append(catalogue_dict(row));
    return list;
}

// Registration order is part of the module's surface: host recordings come
// first, then Offset3, host patterns and pattern packs, the name lookup
// functions, and the formula patterns last.
PYBIND11_MODULE(kinetrope, m) {
    m.doc() = "Integer-pip rhythmic position functions";
    m.attr("PIPS_PER_BEAT") = kinetrope::PIPS_PER_BEAT;
    bind_sampled_recording(m);
    bind_offset3(m);
    bind_sampled_pattern(m);
    bind_pattern_library(m);
    bind_lookup(m);
    bind_formula_patterns(m);
}
