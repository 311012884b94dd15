// How each failure of a kinematics routine is raised in Python.
#pragma once

#include <Python.h>

#include <string_view>
#include <variant>

#include "arm/fk.h"
#include "arm/geometry_document.h"
#include "arm/geometry_document_writer.h"
#include "arm/ik.h"
#include "arm/rates.h"
#include "neck/neck.h"

namespace torso::py {

/// Exception type raised for each routine failure.
inline PyObject* exception_type(const arm::LoopClosureError&) { return PyExc_RuntimeError; }
inline PyObject* exception_type(const arm::TargetUnreachableError&) { return PyExc_RuntimeError; }
inline PyObject* exception_type(const arm::GeometryDocumentError&) { return PyExc_ValueError; }
inline PyObject* exception_type(const neck::GimbalLockError&) { return PyExc_ValueError; }
inline PyObject* exception_type(const arm::SingularConfigurationError&) { return PyExc_ValueError; }
inline PyObject* exception_type(const arm::GeometryNotWritableError&) { return PyExc_ValueError; }

inline std::string_view failure_message(const arm::LoopClosureError& e) { return e.message; }
inline std::string_view failure_message(const arm::TargetUnreachableError& e) { return e.message; }
inline std::string_view failure_message(const arm::GeometryDocumentError& e) { return e.message; }
inline std::string_view failure_message(const neck::GimbalLockError& e) { return e.message; }
inline std::string_view failure_message(const arm::SingularConfigurationError& e) {
    return e.message;
}
inline std::string_view failure_message(const arm::GeometryNotWritableError& e) {
    return e.message;
}

/// Raise `type(message)` with no cause; returns null for the caller to pass on.
[[gnu::cold]] PyObject* raise_message(PyObject* type, std::string_view message);

/// Raise the failure as its exception; returns null for the caller to pass on.
template <class E>
[[gnu::cold]] PyObject* raise_failure(const E& failure) {
    return raise_message(exception_type(failure), failure_message(failure));
}

/// A routine with several failures: raise the one it returned.
template <class... E>
[[gnu::cold]] PyObject* raise_failure(const std::variant<E...>& failure) {
    return std::visit([](const auto& alternative) { return raise_failure(alternative); }, failure);
}

}  // namespace torso::py
