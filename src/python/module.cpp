#include "python/bindings.hpp"  // first: the hardened casters before anything is bound

#include <pybind11/pybind11.h>

#include <cstring>
#include <exception>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_set>
#include <utility>
#include <vector>

#include "core/formula_patterns.hpp"
#include "kinetrope/catalogue.hpp"
#include "kinetrope/pip.hpp"

namespace py = pybind11;

// Conversions are chosen by native parameter type only, so that pybind11's
// standard casters and exception translation do all the work:
//   pip (int)                 int, bool, __index__; a float is refused; implicit
//                             conversion also takes int() of other numbers;
//                             strict parameters are marked .noconvert()
//   name (std::string_view)   str as UTF-8, bytes, bytearray; viewed, not copied,
//                             but a bytearray, which Python code may resize, is
//                             copied first
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

// Instances are made by pybind11's base type, whose constructor can only end
// the process when asked for a type with no bound class among its bases: the
// base itself, called directly or by copyreg's reduction for pickle protocols
// 0 and 1. Such a request is refused with TypeError, as Python refuses to
// create instances of a type that cannot have any; the rest go on as before.
newfunc pybind11_new = nullptr;

PyObject* new_bound_instance(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    try {
        if (py::detail::all_type_info(type).empty()) {
            PyErr_Format(PyExc_TypeError, "cannot create '%s' instances", type->tp_name);
            return nullptr;
        }
    } catch (const std::exception&) {
        PyErr_NoMemory();
        return nullptr;
    }
    return pybind11_new(type, args, kwargs);
}

// Python lets __new__ be called through the base only on types whose
// constructor is the base's, so every type made from the base so far (those of
// other modules sharing pybind11's state included) takes the new one too; the
// types made later inherit it.
void refuse_unbound_instances() {
    auto* base = reinterpret_cast<PyTypeObject*>(py::detail::get_internals().instance_base);
    if (base->tp_new == new_bound_instance) return;
    pybind11_new = base->tp_new;
    std::vector<py::object> pending{py::reinterpret_borrow<py::object>(reinterpret_cast<PyObject*>(base))};
    while (!pending.empty()) {
        py::object type = std::move(pending.back());
        pending.pop_back();
        auto* slots = reinterpret_cast<PyTypeObject*>(type.ptr());
        if (slots->tp_new == pybind11_new) {
            slots->tp_new = new_bound_instance;
            PyType_Modified(slots);
        }
        for (py::handle subclass : type.attr("__subclasses__")()) {
            pending.push_back(py::reinterpret_borrow<py::object>(subclass));
        }
    }
}

// An instance holds one native object, built once. pybind11 lets a second
// __init__ of a built instance return None without effect, and one that
// starts while the first still converts its arguments (from a __float__, or
// a list's __iter__) build the object twice, which ends the process when the
// instance is freed. Every __init__ of the module's classes therefore passes
// through this check first: an instance that is built, or being built, is
// refused with TypeError. pybind11 calls __init__ through its own dispatcher,
// the C function of the function object; the check is put in its place.
using fastcall = PyObject* (*)(PyObject*, PyObject* const*, std::size_t, PyObject*);
fastcall pybind11_dispatch = nullptr;
std::unordered_set<PyObject*> being_built;  // guarded by the interpreter lock

const py::detail::type_info* built_type(PyObject* self) {
    auto* base = reinterpret_cast<PyTypeObject*>(py::detail::get_internals().instance_base);
    if (!PyObject_TypeCheck(self, base)) return nullptr;
    const auto& types = py::detail::all_type_info(Py_TYPE(self));
    if (types.empty()) return nullptr;
    for (const auto& held : py::detail::values_and_holders(reinterpret_cast<py::detail::instance*>(self))) {
        if (held.holder_constructed() || held.instance_registered()) return types.front();
    }
    return being_built.count(self) != 0 ? types.front() : nullptr;
}

PyObject* dispatch_once(PyObject* function, PyObject* const* args, std::size_t nargsf, PyObject* names) {
    if (PyVectorcall_NARGS(nargsf) == 0) return pybind11_dispatch(function, args, nargsf, names);
    PyObject* self = args[0];
    try {
        if (const py::detail::type_info* type = built_type(self)) {
            PyErr_Format(PyExc_TypeError, "%s object is already initialised", type->type->tp_name);
            return nullptr;
        }
        being_built.insert(self);
    } catch (const std::exception&) {
        PyErr_NoMemory();
        return nullptr;
    }
    PyObject* result = pybind11_dispatch(function, args, nargsf, names);
    being_built.erase(self);
    return result;
}

void initialise_once(py::handle cls) {
    py::object init = py::reinterpret_borrow<py::object>(py::detail::get_function(cls.attr("__init__")));
    if (!PyCFunction_Check(init.ptr())) throw std::logic_error("__init__ is not a native function");
    PyMethodDef* method = reinterpret_cast<PyCFunctionObject*>(init.ptr())->m_ml;
    const auto dispatch = reinterpret_cast<fastcall>(reinterpret_cast<void (*)()>(method->ml_meth));
    if (dispatch == dispatch_once) return;
    pybind11_dispatch = dispatch;
    method->ml_meth = reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&dispatch_once));
}

constexpr const char* subinterpreters_refused = "module kinetrope does not support loading in subinterpreters";

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

// The entry PYBIND11_MODULE would make, with one check before pybind11 sets
// anything up: the module is for the main interpreter only. In another one,
// pybind11 before Python 3.12 takes the interpreter lock a second time and
// hangs the import; from 3.12 on the module definition says so, but Python
// still loads such a module into a sub-interpreter that shares the main
// lock. Every version refuses with the same ImportError instead.
static int pybind11_exec_kinetrope(PyObject*);
PYBIND11_PLUGIN_IMPL(kinetrope) {
    PYBIND11_CHECK_PYTHON_VERSION
    if (PyInterpreterState_Get() != PyInterpreterState_Main()) {
        PyErr_SetString(PyExc_ImportError, subinterpreters_refused);
        return nullptr;
    }
    try {
        py::detail::ensure_internals();
        static py::detail::slots_array slots =
            py::detail::init_slots(&pybind11_exec_kinetrope, py::multiple_interpreters::not_supported());
        static PyModuleDef definition{PyModuleDef_HEAD_INIT, "kinetrope", nullptr, 0, nullptr, slots.data(),
                                      nullptr,               nullptr,     nullptr};
        return PyModuleDef_Init(&definition);
    }
    PYBIND11_CATCH_INIT_EXCEPTIONS
    return nullptr;
}

// Registration order is part of the module's surface: host recordings come
// first, then Offset3, host patterns and pattern packs, the name lookup
// functions, and the formula patterns last.
PYBIND11_MODULE_EXEC(kinetrope, m) {
    m.doc() = "Integer-pip rhythmic position functions";
    m.attr("PIPS_PER_BEAT") = kinetrope::PIPS_PER_BEAT;
    py::register_local_exception_translator(translate_core_exception);
    bind_sampled_recording(m);
    bind_offset3(m);
    bind_sampled_pattern(m);
    bind_pattern_library(m);
    bind_lookup(m);
    bind_formula_patterns(m);
    for (const char* name : {"SampledRecording", "SampledPattern", "PatternLibrary"}) initialise_once(m.attr(name));
    refuse_unbound_instances();
}
