// Conversions between Python objects and the plain values of the kinematics.
#pragma once

#include <Python.h>

#include <expected>
#include <optional>
#include <string_view>

#include "arm/geometry.h"
#include "arm/ik.h"
#include "core/float_text.h"
#include "core/joints.h"
#include "core/vec.h"
#include "module/declare.h"
#include "module/failures.h"

namespace torso::py {

/// `'<type>' object cannot be converted to '<target>'` as a TypeError, naming the type's
/// __qualname__. Always returns false.
[[gnu::cold]] bool raise_cannot_convert(PyObject* object, const char* target);

// Each from_python reads `object` into `out` and returns true, or returns false with the
// interpreter's error set. None of them takes ownership of `object`.
/// Any number other than an exact float, through PyFloat_AsDouble.
bool double_from_number(PyObject* object, double& out);
inline bool from_python(PyObject* object, double& out) {
    // An exact float is read in place, without a call into the interpreter.
    if (PyFloat_CheckExact(object)) {
        out = PyFloat_AS_DOUBLE(object);
        return true;
    }
    return double_from_number(object, out);
}
bool from_python(PyObject* object, bool& out);
bool from_python(PyObject* object, std::string_view& out);
bool from_python(PyObject* object, Vec3& out);
bool from_python(PyObject* object, Mat3& out);
bool from_python(PyObject* object, JointPair& out);
/// A joint triple, read like a Vec3: [yaw, pitch, roll].
bool from_python(PyObject* object, JointTriple& out);
/// None gives no pair; anything else is read as a joint pair.
bool from_python(PyObject* object, std::optional<JointPair>& out);

/// Reads an argument slot: null when the argument was not passed.
template <class T>
bool from_slot(PyObject* slot, T& out) {
    return from_python(slot, out);
}
/// An omitted argument keeps its default; an explicit None is converted like any other value
/// (and fails for a number or a bool).
template <auto fallback>
bool from_slot(PyObject* slot, Default<fallback>& out) {
    if (slot == nullptr) {
        return true;
    }
    return from_python(slot, out.value);
}
inline bool from_slot(PyObject* slot, std::optional<JointPair>& out) {
    if (slot == nullptr) {
        return true;
    }
    return from_python(slot, out);
}

// Each to_python returns a new reference, or null with the interpreter's error set. A failed
// float, list or tuple creation is an internal fault (thrown), not a returned null.
PyObject* to_python(double value);
PyObject* to_python(bool value);
PyObject* to_python(const Vec3& value);
PyObject* to_python(const Mat3& value);
/// Three rows of two floats.
PyObject* to_python(const Mat3x2& value);
PyObject* to_python(const JointPair& value);
PyObject* to_python(const JointTriple& value);
/// The joint pair and its distance as one tuple: (θ_A, θ_B, distance).
PyObject* to_python(const arm::NearestPair& value);
/// A list of (θ_A, θ_B) tuples, in order.
PyObject* to_python(const JointPairList& value);
/// A new str holding the (UTF-8) text.
PyObject* to_python(std::string_view value);
template <std::size_t capacity>
PyObject* to_python(const FixedText<capacity>& value) {
    return to_python(value.view());
}
/// The branch's name as a str: "positive" or "negative".
PyObject* to_python(arm::Branch value);
/// An object the routine already made: its new reference passes through.
inline PyObject* to_python(PyObject* owned) { return owned; }
/// A new TarveloArmKinematics holding the geometry (made where that class is).
PyObject* to_python(const arm::SphericalLinkGeometry& value);

/// The value, or the routine's failure raised as its exception.
template <class T, class E>
PyObject* to_python(const std::expected<T, E>& result) {
    if (!result) {
        return raise_failure(result.error());
    }
    return to_python(*result);
}

}  // namespace torso::py
