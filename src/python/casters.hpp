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
//     TypeError before anything reads its memory, and None is no instance.

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <array>
#include <cstddef>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

#include "kinetrope/kinetrope.hpp"
#include "kinetrope/pattern_library.hpp"
#include "kinetrope/sampled_pattern.hpp"
#include "kinetrope/sampled_recording.hpp"

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
        // wanted (the receiver of a property); no parameter accepts None.
        if (!src || src.is_none()) return false;
        refuse_uninitialised(src, typeid(T));
        return py::detail::type_caster_base<T>::load(src, convert);
    }
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
class type_caster<std::array<double, 3>> : public kinetrope::python::triple_caster {};

template <>
class type_caster<std::vector<std::array<double, 3>>>
    : public kinetrope::python::bounded_list_caster<std::vector<std::array<double, 3>>,
                                                    kinetrope::SampledPattern::max_samples> {};
template <>
class type_caster<std::vector<kinetrope::SampledPattern>>
    : public kinetrope::python::bounded_list_caster<std::vector<kinetrope::SampledPattern>,
                                                    kinetrope::PatternLibrary::max_patterns> {};
// A recording holds at most max_values values, so no valid axis list, row
// list or row is longer.
template <>
class type_caster<std::vector<std::string>>
    : public kinetrope::python::bounded_list_caster<std::vector<std::string>, kinetrope::SampledRecording::max_values> {
};
template <>
class type_caster<std::vector<double>>
    : public kinetrope::python::bounded_list_caster<std::vector<double>, kinetrope::SampledRecording::max_values> {};
template <>
class type_caster<std::vector<std::vector<double>>>
    : public kinetrope::python::bounded_list_caster<std::vector<std::vector<double>>,
                                                    kinetrope::SampledRecording::max_values> {};

}  // namespace pybind11::detail
