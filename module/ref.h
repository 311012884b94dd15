// Owned Python references.
#pragma once

#include <Python.h>

#include <utility>

namespace torso::py {

/// One owned (strong) reference, released on destruction.
class Ref {
public:
    Ref() = default;
    /// Takes ownership of `object` (a new reference, or null).
    explicit Ref(PyObject* object) : object_(object) {}
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Ref(Ref&& other) noexcept : object_(other.release()) {}
    Ref& operator=(Ref&& other) noexcept {
        Ref old(std::exchange(object_, other.release()));
        return *this;
    }
    ~Ref() { Py_XDECREF(object_); }

    /// A new owned reference to a borrowed object.
    static Ref borrow(PyObject* object) { return Ref(Py_XNewRef(object)); }

    PyObject* get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    /// Gives up ownership; the caller now owns the reference.
    PyObject* release() { return std::exchange(object_, nullptr); }

private:
    PyObject* object_ = nullptr;
};

}  // namespace torso::py
