// kinetrope_grooves: the grooves engine for Python hosts. Its own module so
// that the surface of kinetrope stays as it is.

#include "python/casters.hpp"  // first: the hardened casters before anything is bound

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kinetrope/grooves.hpp"

// A part made by __new__ alone is refused before anything reads its memory.
namespace pybind11::detail {
template <>
class type_caster<kinetrope::grooves::DrumPart>
    : public kinetrope::python::initialised_instance_caster<kinetrope::grooves::DrumPart> {};
}  // namespace pybind11::detail

namespace py = pybind11;
namespace grooves = kinetrope::grooves;

namespace {

[[noreturn]] void refuse(const std::string& message) { throw grooves::PartError(message); }

// Fields are read straight from the objects (no __float__, __iter__ or
// __index__ runs), so no Python code can run while a part is built: none can
// call __init__ again on the instance being built.
const char* const event_shape = "an event is (voice, pip, velocity[, length[, swell]])";

// A float or int field as a double; an int too large for one is out of range.
double number_field(PyObject* field, const std::string& where, const char* what) {
    if (PyFloat_Check(field)) return PyFloat_AS_DOUBLE(field);
    if (!PyLong_Check(field)) refuse(where + "the " + what + " is a number");
    const double value = PyLong_AsDouble(field);
    if (value == -1.0 && PyErr_Occurred()) {
        PyErr_Clear();
        refuse(where + "the " + what + " is out of range");
    }
    return value;
}

grooves::DrumEvent event_from(PyObject* item, std::size_t index) {
    const std::string where = "event " + std::to_string(index) + ": ";
    if (!PyTuple_Check(item) && !PyList_Check(item)) refuse(where + event_shape);
    const Py_ssize_t size = PySequence_Fast_GET_SIZE(item);
    PyObject** fields = PySequence_Fast_ITEMS(item);
    if (size < 3 || size > 5) refuse(where + event_shape);
    if (!PyUnicode_Check(fields[0])) refuse(where + "the voice is a name such as kick");
    Py_ssize_t length = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(fields[0], &length);
    if (!utf8) PyErr_Clear();  // lone surrogates: no voice's name
    const std::string name = utf8 ? std::string(utf8, std::size_t(length)) : std::string("?");
    const std::optional<grooves::Voice> voice = grooves::voice_named(name);
    if (!voice) refuse(where + "unknown voice " + name.substr(0, 40));
    grooves::DrumEvent event{*voice, number_field(fields[1], where, "pip"), number_field(fields[2], where, "velocity")};
    if (size > 3) event.length = number_field(fields[3], where, "length");
    if (size > 4) {
        if (!PyBool_Check(fields[4])) refuse(where + "swell is True or False");
        event.swell = fields[4] == Py_True;
    }
    return event;
}

grooves::DrumPart part_from(int bars, int beats_per_bar, int beat_unit, const py::object& events) {
    if (!PyList_Check(events.ptr()) && !PyTuple_Check(events.ptr()))
        refuse("events are a list or tuple of (voice, pip, velocity[, length[, swell]])");
    const std::size_t count = std::size_t(PySequence_Fast_GET_SIZE(events.ptr()));
    if (count > std::size_t(grooves::max_events))
        refuse("a part has at most " + std::to_string(grooves::max_events) + " events");
    std::vector<grooves::DrumEvent> native;
    native.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        native.push_back(event_from(PySequence_Fast_ITEMS(events.ptr())[i], i));
    return grooves::make_part(bars, beats_per_bar, beat_unit, std::move(native));
}

py::list events_of(const grooves::DrumPart& part) {
    py::list out;
    for (const grooves::DrumEvent& e : part.events) {
        const std::string_view name = grooves::voice_name(e.voice);
        out.append(py::make_tuple(py::str(name.data(), name.size()), e.pip, e.velocity, e.length, e.swell));
    }
    return out;
}

py::list render(const grooves::DrumPart& part, const py::object& motions) {
    std::vector<std::string> chosen;
    if (!motions.is_none()) {
        if (!PyList_Check(motions.ptr()) && !PyTuple_Check(motions.ptr()))
            refuse("motions are a list or tuple of names such as bounce");
        const Py_ssize_t count = PySequence_Fast_GET_SIZE(motions.ptr());
        if (count == 0) return py::list();
        for (Py_ssize_t i = 0; i < count; ++i) {
            PyObject* name = PySequence_Fast_ITEMS(motions.ptr())[i];
            Py_ssize_t length = 0;
            const char* utf8 = PyUnicode_Check(name) ? PyUnicode_AsUTF8AndSize(name, &length) : nullptr;
            if (!utf8) {
                PyErr_Clear();
                refuse("motions are a list or tuple of names such as bounce");
            }
            chosen.emplace_back(utf8, std::size_t(length));
        }
    }
    const std::vector<std::string_view> names(chosen.begin(), chosen.end());
    std::vector<grooves::MotionTable> tables;
    {
        py::gil_scoped_release unlocked;
        tables = grooves::render(part, names);
    }
    py::list out;
    for (const grooves::MotionTable& table : tables) {
        py::list samples(table.samples.size());
        for (std::size_t p = 0; p < table.samples.size(); ++p) {
            const kinetrope::Offset3 s = table.samples[p];
            // built by hand: a long part makes millions of these
            py::object triple = py::reinterpret_steal<py::object>(PyTuple_New(3));
            if (!triple) throw py::error_already_set();
            const double xyz[3]{s.x, s.y, s.z};
            for (Py_ssize_t a = 0; a < 3; ++a) {
                PyObject* value = PyFloat_FromDouble(xyz[a]);
                if (!value) throw py::error_already_set();
                PyTuple_SET_ITEM(triple.ptr(), a, value);
            }
            PyList_SET_ITEM(samples.ptr(), Py_ssize_t(p), triple.release().ptr());
        }
        out.append(py::make_tuple(py::str(table.suffix.data(), table.suffix.size()), table.dimensions, samples));
    }
    return out;
}

py::tuple names_tuple(std::vector<std::string_view> names) {
    py::tuple out(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) out[i] = py::str(names[i].data(), names[i].size());
    return out;
}

}  // namespace

PYBIND11_MODULE(kinetrope_grooves, m, py::multiple_interpreters::not_supported()) {
    m.doc() = "Movement from drum parts: the sixteen beat motions of any groove, any meter";
    std::vector<std::string_view> voices;
    for (int v = 0; v < grooves::voice_count; ++v) voices.push_back(grooves::voice_name(grooves::Voice(v)));
    m.attr("VOICES") = names_tuple(voices);
    const auto motions = grooves::motion_names();
    m.attr("MOTIONS") = names_tuple({motions.begin(), motions.end()});
    m.attr("MAX_BARS") = grooves::max_bars;
    m.attr("MAX_EVENTS") = grooves::max_events;
    m.attr("MAX_PERIOD") = grooves::max_period;
    m.attr("MAX_SCORE_CHARS") = grooves::max_score_chars;

    py::class_<grooves::DrumPart>(m, "DrumPart",
                                  "A drum part: a meter, a number of bars and its events, each (voice, pip, velocity, "
                                  "length, swell). A bar lasts beats_per_bar * 256 / beat_unit pips.")
        .def(py::init(&part_from), py::arg("bars").noconvert(), py::arg("beats_per_bar").noconvert(),
             py::arg("beat_unit").noconvert(), py::arg("events"))
        .def_property_readonly("bars", [](const grooves::DrumPart& p) { return p.bars; })
        .def_property_readonly("beats_per_bar", [](const grooves::DrumPart& p) { return p.beats_per_bar; })
        .def_property_readonly("beat_unit", [](const grooves::DrumPart& p) { return p.beat_unit; })
        .def_property_readonly("bar_pips", &grooves::DrumPart::bar_pips, "Pips in one bar.")
        .def_property_readonly("period_pips", &grooves::DrumPart::period, "Pips in the whole part: bars * bar_pips.")
        .def_property_readonly("events", &events_of,
                               "Every event, (voice, pip, velocity, length, swell), in order of onset.")
        .def("score_text", &grooves::score_text, "The part as score text, which parse_score reads back to an equal part.")
        .def(
            "__eq__",
            [](const grooves::DrumPart& a, const py::object& b) -> py::object {
                if (!py::isinstance<grooves::DrumPart>(b)) return py::reinterpret_borrow<py::object>(Py_NotImplemented);
                return py::bool_(a == b.cast<const grooves::DrumPart&>());
            },
            py::is_operator())
        .def("__repr__", [](const grooves::DrumPart& p) {
            return "DrumPart(" + std::to_string(p.bars) + " bars of " + std::to_string(p.beats_per_bar) + "/" +
                   std::to_string(p.beat_unit) + ", " + std::to_string(p.events.size()) + " events)";
        });
    // Parts compare by value; like lists they are not hashable.
    m.attr("DrumPart").attr("__hash__") = py::none();

    m.def(
        "parse_score", [](std::string_view text) { return grooves::parse_score(text); }, py::arg("text"),
        "Reads score text (meter, bars, steps, swing, then a line per voice); raises ValueError naming the line.");
    m.def("render", &render, py::arg("part"), py::arg("motions") = py::none(),
          "The part's motions (all sixteen by default, else those named, in that order): (suffix, dimensions, one "
          "(x, y, z) per pip over period_pips), every value in [-1, 1].");
}
