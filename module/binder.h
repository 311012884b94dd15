// The one call sequence of every entry point: bind, check the receiver, convert, call, convert
// back.
#pragma once

#include <Python.h>

#include <algorithm>
#include <cstddef>
#include <span>
#include <tuple>
#include <type_traits>
#include <utility>

#include "module/convert.h"
#include "module/declare.h"
#include "module/guard.h"
#include "module/ref.h"

namespace torso::py {

/// One parameter of a method: its name, whether the caller may omit it, and whether it can
/// be passed only by keyword. Keyword-only parameters come last and are optional.
struct Param {
    const char* name = nullptr;
    bool optional = false;
    bool keyword_only = false;
    PyObject* interned = nullptr;  // the name as an interned str, made on first use
};

/// What the binder needs to know of a method: its class, its name and its parameters.
struct MethodSignature {
    const char* class_name;
    const char* method_name;  // "__new__" for a constructor
    std::span<Param> params;
    PositionalWording wording = PositionalWording::python;
};

/// The most parameters any method has; the binder's slot array is this long.
inline constexpr std::size_t kMaxParams = 4;

/// bind_vector for any mix of positional and keyword arguments.
bool bind_vector_general(const MethodSignature& signature, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames, PyObject** slots);

/// Place vectorcall arguments into `slots` (one per parameter, null when omitted).
/// False with a TypeError set on a binding error.
inline bool bind_vector(const MethodSignature& signature, PyObject* const* args, Py_ssize_t nargs,
                        PyObject* kwnames, PyObject** slots) {
    // The common call passes every parameter by position: nothing can go wrong. (Keyword-only
    // parameters come last, so checking the last one tells whether all can be positional.)
    if (kwnames == nullptr && static_cast<std::size_t>(nargs) == signature.params.size() &&
        (signature.params.empty() || !signature.params.back().keyword_only)) {
        std::copy_n(args, nargs, slots);
        return true;
    }
    return bind_vector_general(signature, args, nargs, kwnames, slots);
}

/// The same for the tuple and dict that a constructor receives.
bool bind_tuple(const MethodSignature& signature, PyObject* args, PyObject* kwargs,
                PyObject** slots);

/// After the conversion of parameter `name` failed: wrap an exact TypeError as
/// "argument 'name': ...", pass anything else on unchanged.
[[gnu::cold]] void wrap_argument_error(const char* name);

/// TypeError for a receiver that is not an instance of `class_name`.
[[gnu::cold]] void raise_wrong_receiver(PyObject* self, const char* class_name);

namespace detail {

// Always inlined: each entry point converts its own argument types, and a call here costs as
// much as converting two floats.
template <class Values, std::size_t... I>
[[gnu::always_inline]] inline bool convert_all(const MethodSignature& signature,
                                               PyObject* const* slots, Values& values,
                                               std::index_sequence<I...>) {
    return ((from_slot(slots[I], std::get<I>(values)) ||
             (wrap_argument_error(signature.params[I].name), false)) &&
            ...);
}

/// Convert the bound slots and call `routine(receiver..., values...)`; its result as a new
/// reference, or null with the error set.
template <class Routine, class... Receiver>
[[gnu::always_inline]] inline PyObject* convert_and_call(const MethodSignature& signature,
                                                         PyObject* const* slots, Routine& routine,
                                                         const Receiver&... receiver) {
    using Args = typename CallableTraits<Routine>::Args;
    using Values = typename ValuesOf<sizeof...(Receiver), Args>::type;
    constexpr std::size_t count = std::tuple_size_v<Values>;
    static_assert(count <= kMaxParams);
    Values values{};
    if (!convert_all(signature, slots, values, std::make_index_sequence<count>{})) {
        return nullptr;
    }
    return to_python(
        std::apply([&](const auto&... value) { return routine(receiver..., value...); }, values));
}

/// Verify the receiver's type; false with the TypeError set otherwise.
template <class Self>
[[gnu::always_inline]] inline bool check_receiver(PyObject* self, const char* class_name) {
    PyTypeObject* type = Py_TYPE(self);
    if (type == Self::type() || PyType_IsSubtype(type, Self::type())) {
        return true;
    }
    raise_wrong_receiver(self, class_name);
    return false;
}

}  // namespace detail

// The call sequences below are inlined into the entry point of each method, so that every
// method is one function, as it would be written by hand.

/// A vectorcall entry point as the PyCFunction that a method table row stores.
template <auto entry>
PyCFunction as_cfunction() noexcept {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(entry));
}

/// An instance method called by vectorcall: `routine(receiver, values...)`, the receiver being
/// the plain value that the instance of `Self` holds.
template <class Self, class Routine>
[[gnu::always_inline]] inline PyObject*
call_method(const MethodSignature& signature, PyObject* self, PyObject* const* args,
            Py_ssize_t nargs, PyObject* kwnames, Routine routine) {
    return guarded<PyObject*>([&]() -> PyObject* {
        PyObject* slots[kMaxParams] = {};
        if (!bind_vector(signature, args, nargs, kwnames, slots) ||
            !detail::check_receiver<Self>(self, signature.class_name)) {
            return nullptr;
        }
        Ref hold = Ref::borrow(self);  // held until the call ends
        return detail::convert_and_call(signature, slots, routine,
                                        reinterpret_cast<const Self*>(self)->value());
    });
}

/// An instance method without arguments: `routine(receiver)`.
template <class Self, class Routine>
[[gnu::always_inline]] inline PyObject* call_noargs(const char* class_name, PyObject* self,
                                                    Routine routine) {
    return guarded<PyObject*>([&]() -> PyObject* {
        if (!detail::check_receiver<Self>(self, class_name)) {
            return nullptr;
        }
        Ref hold = Ref::borrow(self);
        return to_python(routine(reinterpret_cast<const Self*>(self)->value()));
    });
}

/// A static method called by vectorcall: `routine(values...)`.
template <class Routine>
[[gnu::always_inline]] inline PyObject* call_static(const MethodSignature& signature,
                                                    PyObject* const* args, Py_ssize_t nargs,
                                                    PyObject* kwnames, Routine routine) {
    return guarded<PyObject*>([&]() -> PyObject* {
        PyObject* slots[kMaxParams] = {};
        if (!bind_vector(signature, args, nargs, kwnames, slots)) {
            return nullptr;
        }
        return detail::convert_and_call(signature, slots, routine);
    });
}

/// A static method without arguments: `routine()`.
template <class Routine>
[[gnu::always_inline]] inline PyObject* call_static_noargs(Routine routine) {
    return guarded<PyObject*>([&]() -> PyObject* { return to_python(routine()); });
}

/// A constructor: `routine(type, values...)` returns the new instance of `type`.
template <class Routine>
[[gnu::always_inline]] inline PyObject* construct(const MethodSignature& signature,
                                                  PyTypeObject* type, PyObject* args,
                                                  PyObject* kwargs, Routine routine) {
    return guarded<PyObject*>([&]() -> PyObject* {
        PyObject* slots[kMaxParams] = {};
        if (!bind_tuple(signature, args, kwargs, slots)) {
            return nullptr;
        }
        return detail::convert_and_call(signature, slots, routine, type);
    });
}

}  // namespace torso::py
