#include "python/bindings.hpp"  // first: the hardened casters before anything is bound

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <array>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kinetrope/pattern_library.hpp"
#include "kinetrope/sampled_pattern.hpp"
#include "kinetrope/sampled_recording.hpp"

namespace py = pybind11;

namespace {

using kinetrope::Offset3;
using kinetrope::PatternLibrary;
using kinetrope::SampledPattern;
using kinetrope::SampledRecording;

using Triple = std::array<double, 3>;

// Python hands each sample over as a fixed-size triple (x, y, z).
SampledPattern make_sampled_pattern(std::string name, std::string description, const std::vector<Triple>& samples) {
    std::vector<Offset3> offsets;
    offsets.reserve(samples.size());
    for (const Triple& t : samples) {
        offsets.push_back(Offset3{t[0], t[1], t[2]});
    }
    return SampledPattern(std::move(name), std::move(description), std::move(offsets));
}

}  // namespace

void bind_sampled_recording(py::module_& m) {
    py::class_<SampledRecording>(m, "SampledRecording")
        .def(py::init<std::string, std::vector<std::string>, const std::vector<std::vector<double>>&, double, double,
                      int>(),
             py::arg("name"), py::arg("dimensions"), py::arg("samples"), py::arg("bpm"),
             py::arg("beat_zero_seconds") = 0.0, py::arg("start_pip") = 0)
        .def_property_readonly("name", &SampledRecording::name)
        .def_property_readonly("dimensions", &SampledRecording::dimensions)
        .def_property_readonly("sample_count", &SampledRecording::sample_count)
        .def_property_readonly("bpm", &SampledRecording::bpm)
        .def_property_readonly("beat_zero_seconds", &SampledRecording::beat_zero_seconds)
        .def_property_readonly("start_pip", &SampledRecording::start_pip)
        .def("sample", &SampledRecording::sample, py::arg("pip").noconvert());
}

void bind_sampled_pattern(py::module_& m) {
    py::class_<SampledPattern>(m, "SampledPattern")
        .def(py::init(&make_sampled_pattern), py::arg("name"), py::arg("description"), py::arg("samples"))
        .def_property_readonly("name", &SampledPattern::name)
        .def_property_readonly("description", &SampledPattern::description)
        .def_property_readonly("period_pips", &SampledPattern::sample_count)
        .def("sample", &SampledPattern::sample, py::arg("pip_count").noconvert());
}

// The list conversion copies each pattern, so the caller's objects stay as
// they were; the library then owns its copies.
void bind_pattern_library(py::module_& m) {
    py::class_<PatternLibrary>(m, "PatternLibrary")
        .def(py::init<std::vector<SampledPattern>>(), py::arg("patterns") = py::list())
        .def(
            "sample",
            [](const PatternLibrary& library, std::string_view name, int pip_count) {
                return with_whole_name(name, [&] { return library.sample(name, pip_count); });
            },
            py::arg("name"), py::arg("pip_count").noconvert())
        .def("catalogue", [](const PatternLibrary& library) { return catalogue_list(library.catalogue()); });
}
