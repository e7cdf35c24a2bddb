#include "python/bindings.hpp"  // first: the hardened casters before anything is bound

#include <pybind11/pybind11.h>

#include <cstring>
#include <exception>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>

#include "core/formula_patterns.hpp"
#include "kinetrope/catalogue.hpp"
#include "kinetrope/pip.hpp"

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
// The list, triple and instance conversions are the hardened ones of
// casters.hpp, which bindings.hpp brings in before anything is bound.

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
    m.def(
        "sample",
        [](std::string_view name, int pip_count) {
            return with_whole_name(name, [&] { return kinetrope::sample(name, pip_count); });
        },
        py::arg("name"), py::arg("pip_count"));
    m.def("catalogue", [] { return catalogue_list(kinetrope::catalogue()); });
}

// One positional, unnamed pip per function, bound straight to the core.
void bind_formula_patterns(py::module_& m) {
    for (const auto& pattern : kinetrope::detail::formula_patterns) {
        m.def(std::string(pattern.info.name).c_str(), pattern.sampler);
    }
}

// A message is raw bytes: a name given as bytes need not be UTF-8. Bytes
// that are not become lone surrogates U+DC80..U+DCFF (surrogateescape), so
// str(error).encode("utf-8", "surrogateescape") gives back every byte.
void set_error(PyObject* type, std::string_view message) {
    py::object text = py::reinterpret_steal<py::object>(
        PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "surrogateescape"));
    if (!text) throw py::error_already_set();
    PyErr_SetObject(type, text.ptr());
}

// The standard table of native exceptions to Python ones, with the message
// decoded as above rather than strictly; pybind11's own exceptions and
// std::bad_alloc go on to its standard translation.
void translate_core_exception(std::exception_ptr thrown) {
    try {
        std::rethrow_exception(thrown);
    } catch (const py::builtin_exception&) {
        throw;
    } catch (const py::error_already_set&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::domain_error& e) {
        set_error(PyExc_ValueError, e.what());
    } catch (const std::invalid_argument& e) {
        set_error(PyExc_ValueError, e.what());
    } catch (const std::length_error& e) {
        set_error(PyExc_ValueError, e.what());
    } catch (const std::out_of_range& e) {
        set_error(PyExc_IndexError, e.what());
    } catch (const std::range_error& e) {
        set_error(PyExc_ValueError, e.what());
    } catch (const std::overflow_error& e) {
        set_error(PyExc_OverflowError, e.what());
    } catch (const std::exception& e) {
        set_error(PyExc_RuntimeError, e.what());
    }
}

constexpr std::string_view unknown_name = "Unknown dance rudiment: ";

}  // namespace

void raise_with_whole_name(const std::invalid_argument& error, std::string_view name) {
    if (name.find('\0') == std::string_view::npos) return;
    std::string whole(unknown_name);
    whole.append(name);
    if (std::strcmp(error.what(), whole.c_str()) != 0) return;
    set_error(PyExc_ValueError, whole);
    throw py::error_already_set();
}

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
    py::register_local_exception_translator(translate_core_exception);
    bind_sampled_recording(m);
    bind_offset3(m);
    bind_sampled_pattern(m);
    bind_pattern_library(m);
    bind_lookup(m);
    bind_formula_patterns(m);
}
