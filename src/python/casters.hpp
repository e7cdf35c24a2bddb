#pragma once

// Argument conversions that hold against any Python object. Every binding
// source includes this before it binds anything, so these casters, not
// pybind11's stock ones, convert every list, triple and instance argument:
//   - a container is read by iteration, never by trusting __len__ (which may
//     lie, or change while it is read), and never beyond one element past
//     the most its parameter can accept, so memory follows what the object
//     really yields and an over-long argument still fails the core's check;
//   - a triple is exactly three elements fetched one by one;
//   - an instance made by __new__ alone, never initialised, is refused with
//     TypeError before anything reads its memory, and None is no instance;
//     nothing but an instance of the bound class is taken (pybind11 would
//     otherwise take any object offering a `_pybind11_conduit_v1_` capsule);
//   - a name viewed for the length of a call owns the bytes of a bytearray,
//     which Python code run by a later argument's conversion may resize;
//   - a limit of the core stops the reading as soon as the input passes it,
//     so memory follows what the limits allow, not what the caller offers.

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <array>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <typeinfo>
#include <unordered_set>
#include <utility>
#include <vector>

#include "kinetrope/kinetrope.hpp"
#include "kinetrope/pattern_library.hpp"
#include "kinetrope/sampled_pattern.hpp"
#include "kinetrope/sampled_recording.hpp"
#include "patterns/identifier.hpp"

namespace kinetrope::python {

namespace py = pybind11;

// Calls take(item) for the elements of a list-like argument, in iteration
// order, stopping after `most` of them. Returns false if the argument is
// not list-like or take refuses an element. A container that is not a
// sequence is drained first (up to the bound), as tuple() would, so it is
// consumed even when one of its elements is then refused. An error raised
// by the container itself propagates unchanged.
template <typename Take>
bool for_each_element(py::handle src, bool convert, std::size_t most, Take&& take) {
    if (!py::detail::object_is_convertible_to_std_vector(src)) return false;
    const bool sequence = PySequence_Check(src.ptr()) != 0;
    if (!sequence && !convert) return false;
    auto next_items = [most](py::handle from, auto&& each) {
        py::object iterator = py::reinterpret_steal<py::object>(PyObject_GetIter(from.ptr()));
        if (!iterator) throw py::error_already_set();
        for (std::size_t n = 0; n < most; ++n) {
            py::object item = py::reinterpret_steal<py::object>(PyIter_Next(iterator.ptr()));
            if (!item) {
                if (PyErr_Occurred()) throw py::error_already_set();
                break;
            }
            if (!each(item)) return false;
        }
        return true;
    };
    if (sequence) return next_items(src, take);
    py::list drained;
    next_items(src, [&drained](py::handle item) {
        drained.append(item);
        return true;
    });
    for (py::handle item : drained) {
        if (!take(item)) return false;
    }
    return true;
}

// A vector argument of at most Most elements: Most + 1 are read at most.
template <typename Vector, std::size_t Most>
class bounded_list_caster : public py::detail::list_caster<Vector, typename Vector::value_type> {
    using element = typename Vector::value_type;

public:
    bool load(py::handle src, bool convert) {
        this->value.clear();
        return for_each_element(src, convert, Most + 1, [&](py::handle item) {
            py::detail::make_caster<element> conv;
            if (!conv.load(item, convert)) return false;
            this->value.push_back(py::detail::cast_op<element&&>(std::move(conv)));
            return true;
        });
    }
};

// A sample (x, y, z): exactly three elements, each by float conversion.
class triple_caster {
public:
    using Triple = std::array<double, 3>;

    bool load(py::handle src, bool convert) {
        Triple read{};
        std::size_t count = 0;
        const bool taken = for_each_element(src, convert, read.size() + 1, [&](py::handle item) {
            if (count == read.size()) return false;
            py::detail::make_caster<double> conv;
            if (!conv.load(item, convert)) return false;
            read[count++] = py::detail::cast_op<double>(conv);
            return true;
        });
        if (!taken || count != read.size()) return false;
        value = read;
        return true;
    }

    static py::handle cast(const Triple& src, py::return_value_policy, py::handle) {
        return py::make_tuple(src[0], src[1], src[2]).release();
    }

    PYBIND11_TYPE_CASTER(Triple, py::detail::const_name("typing.Annotated[") +
                                     py::detail::io_name("collections.abc.Sequence", "list") +
                                     py::detail::const_name("[") + py::detail::make_caster<double>::name +
                                     py::detail::const_name("], \"FixedSize(3)\"]"));
};

// Throws TypeError if src is an instance of the bound class of `type` whose
// native object was never constructed. Anything else is left to the
// standard conversion to take or refuse. The check is on the real type, not
// isinstance(), which a __class__ attribute could fool.
inline void refuse_uninitialised(py::handle src, const std::type_info& type) {
    const py::detail::type_info* info = py::detail::get_type_info(type);
    if (info == nullptr || !src || !PyObject_TypeCheck(src.ptr(), info->type)) return;
    auto* instance = reinterpret_cast<py::detail::instance*>(src.ptr());
    const py::detail::value_and_holder held = instance->get_value_and_holder(info, false);
    if (!held || !held.holder_constructed() || held.value_ptr() == nullptr) {
        throw py::type_error(std::string(info->type->tp_name) + " object was not initialised");
    }
}

template <typename T>
class initialised_instance_caster : public py::detail::type_caster_base<T> {
public:
    bool load(py::handle src, bool convert) {
        // The stock caster takes None as a null object where a pointer is
        // wanted (the receiver of a property), and with conversion allowed
        // any object whose `_pybind11_conduit_v1_` returns a capsule, as the
        // address of a T; no parameter accepts either.
        const py::detail::type_info* info = py::detail::get_type_info(typeid(T));
        if (!src || info == nullptr || !PyObject_TypeCheck(src.ptr(), info->type)) return false;
        refuse_uninitialised(src, typeid(T));
        return py::detail::type_caster_base<T>::load(src, convert);
    }
};

// A name viewed for the length of one call. str and bytes cannot change, so
// their bytes are viewed where they are; a bytearray can be resized by any
// Python code that runs before the call (another argument's __index__), so
// its bytes are copied here and viewed from this copy.
class name_view_caster : public py::detail::string_caster<std::string_view, true> {
public:
    bool load(py::handle src, bool convert) {
        if (src && PyByteArray_Check(src.ptr())) {
            owned_.assign(PyByteArray_AS_STRING(src.ptr()), static_cast<std::size_t>(PyByteArray_GET_SIZE(src.ptr())));
            value = owned_;
            return true;
        }
        return string_caster::load(src, convert);
    }

private:
    std::string owned_;
};

}  // namespace kinetrope::python

namespace pybind11::detail {

template <>
class type_caster<kinetrope::Offset3> : public kinetrope::python::initialised_instance_caster<kinetrope::Offset3> {};
template <>
class type_caster<kinetrope::SampledPattern>
    : public kinetrope::python::initialised_instance_caster<kinetrope::SampledPattern> {};
template <>
class type_caster<kinetrope::PatternLibrary>
    : public kinetrope::python::initialised_instance_caster<kinetrope::PatternLibrary> {};
template <>
class type_caster<kinetrope::SampledRecording>
    : public kinetrope::python::initialised_instance_caster<kinetrope::SampledRecording> {};

template <>
class type_caster<std::string_view> : public kinetrope::python::name_view_caster {};

template <>
class type_caster<std::array<double, 3>> : public kinetrope::python::triple_caster {};

template <>
class type_caster<std::vector<std::array<double, 3>>>
    : public kinetrope::python::bounded_list_caster<std::vector<std::array<double, 3>>,
                                                    kinetrope::SampledPattern::max_samples> {};
// A recording holds at most max_values values, so no valid row is longer.
template <>
class type_caster<std::vector<double>>
    : public kinetrope::python::bounded_list_caster<std::vector<double>, kinetrope::SampledRecording::max_values> {};

}  // namespace pybind11::detail

// Lists whose limits span their elements, after the casters of those elements.
namespace kinetrope::python {

// A list of patterns for a library. Elements are type-checked and held, not
// copied, until the core's limits have been checked: no more than
// max_patterns + 1 are read, and only the patterns up to the first that the
// core must refuse for being empty, repeating a name or passing the sample
// budget are copied. The core then reports that pattern, or an earlier one
// that redefines a built-in, just as it would for the whole list.
class pattern_list_caster
    : public py::detail::list_caster<std::vector<SampledPattern>, SampledPattern> {
public:
    bool load(py::handle src, bool convert);
};

// Axis names. A name longer than an identifier may be is refused by the core
// whatever its bytes, so it is kept as the empty name, refused alike, rather
// than copied: a thousand references to one long str cost nothing.
class axis_names_caster : public py::detail::list_caster<std::vector<std::string>, std::string> {
public:
    bool load(py::handle src, bool convert);
};

// Recording rows. A valid recording holds at most max_values values in all,
// so no more than max_values + 1 are read over all rows; the row in which the
// count passes it is kept cut short there. Rows after it are counted, as
// empty rows, but not read: the core refuses on the row count, or else on
// that row or an earlier one (it cannot hold as many values as there are
// axes), before it would look at them.
class recording_rows_caster
    : public py::detail::list_caster<std::vector<std::vector<double>>, std::vector<double>> {
public:
    bool load(py::handle src, bool convert);
};

}  // namespace kinetrope::python

namespace pybind11::detail {

template <>
class type_caster<std::vector<kinetrope::SampledPattern>> : public kinetrope::python::pattern_list_caster {};
template <>
class type_caster<std::vector<std::string>> : public kinetrope::python::axis_names_caster {};
template <>
class type_caster<std::vector<std::vector<double>>> : public kinetrope::python::recording_rows_caster {};

}  // namespace pybind11::detail

namespace kinetrope::python {

inline bool pattern_list_caster::load(py::handle src, bool convert) {
    value.clear();
    py::list held;  // keeps alive the instances the pointers below are in
    std::vector<const SampledPattern*> given;
    const bool taken =
        for_each_element(src, convert, PatternLibrary::max_patterns + 1, [&](py::handle item) {
            py::detail::make_caster<SampledPattern> conv;
            if (!conv.load(item, convert)) return false;
            held.append(item);
            given.push_back(&py::detail::cast_op<const SampledPattern&>(conv));
            return true;
        });
    if (!taken) return false;
    // The core's first check, made on the count alone.
    if (given.size() > PatternLibrary::max_patterns) throw std::invalid_argument("Too many patterns");
    // No Python code runs from here on: the names stay where they are.
    std::unordered_set<std::string_view> names;
    std::size_t total = 0;
    std::size_t kept = 0;
    while (kept < given.size()) {
        const SampledPattern& pattern = *given[kept++];
        const bool refused = pattern.sample_count() == 0 || !names.insert(pattern.name()).second ||
                             (total += pattern.sample_count()) > PatternLibrary::max_total_samples;
        if (refused) break;
    }
    value.reserve(kept);
    for (std::size_t i = 0; i < kept; ++i) value.push_back(*given[i]);
    return true;
}

inline bool axis_names_caster::load(py::handle src, bool convert) {
    value.clear();
    return for_each_element(src, convert, SampledRecording::max_values + 1, [&](py::handle item) {
        py::detail::make_caster<std::string_view> conv;
        if (!conv.load(item, convert)) return false;
        const std::string_view name = py::detail::cast_op<std::string_view>(conv);
        value.emplace_back(name.size() > detail::max_identifier_length ? std::string_view() : name);
        return true;
    });
}

inline bool recording_rows_caster::load(py::handle src, bool convert) {
    value.clear();
    std::size_t left = SampledRecording::max_values + 1;
    return for_each_element(src, convert, SampledRecording::max_values + 1, [&](py::handle row) {
        if (left == 0) {
            if (!py::detail::object_is_convertible_to_std_vector(row)) return false;
            value.emplace_back();
            return true;
        }
        std::vector<double> read;
        const bool taken = for_each_element(row, convert, left, [&](py::handle item) {
            py::detail::make_caster<double> conv;
            if (!conv.load(item, convert)) return false;
            read.push_back(py::detail::cast_op<double>(conv));
            return true;
        });
        if (!taken) return false;
        left -= read.size();
        value.push_back(std::move(read));
        return true;
    });
}

}  // namespace kinetrope::python
