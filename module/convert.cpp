// Conversions between Python objects and the plain values of the kinematics.
#include "module/convert.h"

#include <cstring>

#include "module/guard.h"
#include "module/ref.h"

namespace torso::py {
namespace {

constexpr Py_ssize_t kVectorLength = 3;
constexpr Py_ssize_t kPairLength = 2;

/// Whether the type is numpy's boolean scalar type ("bool_" before numpy 2, "bool" since).
bool is_numpy_bool_type(PyTypeObject* type) {
    PyObject* type_object = reinterpret_cast<PyObject*>(type);
    Ref module(PyObject_GetAttrString(type_object, "__module__"));
    Ref name(module ? PyObject_GetAttrString(type_object, "__name__") : nullptr);
    if (!name) {
        // An ordinary error while reading the type's module or name counts as "not numpy's";
        // a PanicException raised there goes on as a panic.
        resume_panic_from_python();
        PyErr_Clear();
        return false;
    }
    if (!PyUnicode_Check(module.get()) || !PyUnicode_Check(name.get())) {
        return false;
    }
    return PyUnicode_CompareWithASCIIString(module.get(), "numpy") == 0 &&
           (PyUnicode_CompareWithASCIIString(name.get(), "bool_") == 0 ||
            PyUnicode_CompareWithASCIIString(name.get(), "bool") == 0);
}

/// numpy boolean scalar through its type's truth slot.
bool numpy_bool_from_python(PyObject* object, bool& out) {
    PyTypeObject* type = Py_TYPE(object);
    if (type->tp_as_number == nullptr || type->tp_as_number->nb_bool == nullptr) {
        PyErr_Format(PyExc_TypeError, "object of type '%s' does not define a '__bool__' conversion",
                     type->tp_name);
        return false;
    }
    int truth = type->tp_as_number->nb_bool(object);
    if (truth != 0 && truth != 1) {
        return false;
    }
    out = truth == 1;
    return true;
}

/// Length of a sequence that must hold exactly `kVectorLength` items: false with the
/// interpreter's error set otherwise.
bool check_vector_sequence(PyObject* object) {
    if (!PySequence_Check(object)) {
        return raise_cannot_convert(object, "Sequence");
    }
    Py_ssize_t length = PyList_CheckExact(object) || PyTuple_CheckExact(object)
                            ? Py_SIZE(object)
                            : PyObject_Size(object);
    if (length == -1) {
        return false;
    }
    if (length != kVectorLength) {
        PyErr_Format(PyExc_ValueError, "expected a sequence of length %zd (got %zd)", kVectorLength,
                     length);
        return false;
    }
    return true;
}

/// obj[index] as `PyObject_GetItem` with an int index gives it. Exact lists and tuples are
/// read in place; a list is re-checked at every index because converting an earlier item may
/// have run Python code that shortened it.
Ref sequence_item(PyObject* object, Py_ssize_t index) {
    if (PyList_CheckExact(object)) {
        if (index >= PyList_GET_SIZE(object)) {
            PyErr_SetString(PyExc_IndexError, "list index out of range");
            return Ref();
        }
        return Ref::borrow(PyList_GET_ITEM(object, index));
    }
    if (PyTuple_CheckExact(object)) {
        return Ref::borrow(PyTuple_GET_ITEM(object, index));
    }
    Ref key(PyLong_FromSsize_t(index));
    if (!key) {
        return Ref();
    }
    return Ref(PyObject_GetItem(object, key.get()));
}

/// Items 0, 1, 2 of a checked 3-sequence, each read by `read_item`, in order.
template <class T, class ReadItem>
bool read_three(PyObject* object, T (&out)[3], ReadItem read_item) {
    for (Py_ssize_t i = 0; i < kVectorLength; ++i) {
        Ref item = sequence_item(object, i);
        if (!item || !read_item(item.get(), out[i])) {
            return false;
        }
    }
    return true;
}

/// A new float, or an internal fault.
PyObject* new_float(double value) {
    PyObject* result = PyFloat_FromDouble(value);
    if (result == nullptr) {
        fail_python_api_call();
    }
    return result;
}

/// A new list of `count` items made by `make_item(i)`, or an internal fault. The list is
/// made at its final size and filled in place; if an item fails, the half-filled list is
/// released (its empty slots are null, which list deallocation skips).
template <class MakeItem>
PyObject* new_list(Py_ssize_t count, MakeItem make_item) {
    Ref result(PyList_New(count));
    if (!result) {
        fail_python_api_call();
    }
    for (Py_ssize_t i = 0; i < count; ++i) {
        PyList_SET_ITEM(result.get(), i, make_item(i));
    }
    return result.release();
}

/// A new tuple of floats, made at its final size and filled in place, or an internal fault.
template <std::size_t count>
PyObject* new_float_tuple(const double (&items)[count]) {
    Ref result(PyTuple_New(static_cast<Py_ssize_t>(count)));
    if (!result) {
        fail_python_api_call();
    }
    for (std::size_t i = 0; i < count; ++i) {
        PyTuple_SET_ITEM(result.get(), static_cast<Py_ssize_t>(i), new_float(items[i]));
    }
    return result.release();
}

PyObject* new_float_list(const Vec3& v) {
    return new_list(kVectorLength,
                    [&](Py_ssize_t i) { return new_float(v[static_cast<std::size_t>(i)]); });
}

/// The type's __qualname__. Interpreters before 3.11 lack PyType_GetQualName: there it is read
/// from the same fields, a heap type's qualified name or the static type's name after its last
/// point, so that every message names the type alike.
Ref type_qualname(PyTypeObject* type) {
#if PY_VERSION_HEX >= 0x030B0000
    return Ref(PyType_GetQualName(type));
#else
    if (PyType_HasFeature(type, Py_TPFLAGS_HEAPTYPE)) {
        return Ref::borrow(reinterpret_cast<PyHeapTypeObject*>(type)->ht_qualname);
    }
    const char* point = std::strrchr(type->tp_name, '.');
    return Ref(PyUnicode_FromString(point != nullptr ? point + 1 : type->tp_name));
#endif
}

}  // namespace

bool raise_cannot_convert(PyObject* object, const char* target) {
    Ref qualname = type_qualname(Py_TYPE(object));
    if (qualname) {
        PyErr_Format(PyExc_TypeError, "'%U' object cannot be converted to '%s'", qualname.get(),
                     target);
    }
    return false;
}

bool double_from_number(PyObject* object, double& out) {
    out = PyFloat_AsDouble(object);
    // -1.0 is also an ordinary value: only an error set alongside it is a failure.
    return !(out == -1.0 && PyErr_Occurred());
}

bool from_python(PyObject* object, bool& out) {
    if (PyBool_Check(object)) {
        out = object == Py_True;
        return true;
    }
    if (is_numpy_bool_type(Py_TYPE(object))) {
        return numpy_bool_from_python(object, out);
    }
    return raise_cannot_convert(object, "PyBool");
}

bool from_python(PyObject* object, std::string_view& out) {
    if (!PyUnicode_Check(object)) {
        return raise_cannot_convert(object, "PyString");
    }
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(object, &size);
    if (utf8 == nullptr) {
        return false;
    }
    out = std::string_view(utf8, static_cast<std::size_t>(size));
    return true;
}

bool from_python(PyObject* object, Vec3& out) {
    double xyz[3];
    if (!check_vector_sequence(object) ||
        !read_three(object, xyz, [](PyObject* item, double& v) { return from_python(item, v); })) {
        return false;
    }
    out = {xyz[0], xyz[1], xyz[2]};
    return true;
}

bool from_python(PyObject* object, JointTriple& out) {
    Vec3 v{};
    if (!from_python(object, v)) {
        return false;
    }
    out = {v.x, v.y, v.z};
    return true;
}

bool from_python(PyObject* object, Mat3& out) {
    Vec3 rows[3];
    if (!check_vector_sequence(object) || !read_three(object, rows, [](PyObject* item, Vec3& row) {
            return from_python(item, row);
        })) {
        return false;
    }
    out.columns = {Vec3{rows[0].x, rows[1].x, rows[2].x}, Vec3{rows[0].y, rows[1].y, rows[2].y},
                   Vec3{rows[0].z, rows[1].z, rows[2].z}};
    return true;
}

bool from_python(PyObject* object, JointPair& out) {
    if (!PyTuple_Check(object)) {
        return raise_cannot_convert(object, "PyTuple");
    }
    Py_ssize_t length = PyTuple_GET_SIZE(object);
    if (length != kPairLength) {
        PyErr_Format(PyExc_ValueError, "expected tuple of length %zd, but got tuple of length %zd",
                     kPairLength, length);
        return false;
    }
    return from_python(PyTuple_GET_ITEM(object, 0), out.theta_a) &&
           from_python(PyTuple_GET_ITEM(object, 1), out.theta_b);
}

bool from_python(PyObject* object, std::optional<JointPair>& out) {
    if (object == Py_None) {
        out.reset();
        return true;
    }
    return from_python(object, out.emplace());
}

PyObject* to_python(double value) { return new_float(value); }

PyObject* to_python(bool value) { return Py_NewRef(value ? Py_True : Py_False); }

PyObject* to_python(const Vec3& value) { return new_float_list(value); }

PyObject* to_python(const Mat3& value) {
    return new_list(kVectorLength, [&](Py_ssize_t i) {
        auto row = static_cast<std::size_t>(i);
        return new_float_list({value.at(row, 0), value.at(row, 1), value.at(row, 2)});
    });
}

PyObject* to_python(const Mat3x2& value) {
    return new_list(kVectorLength, [&](Py_ssize_t i) {
        auto row = static_cast<std::size_t>(i);
        return new_list(kPairLength, [&](Py_ssize_t j) {
            return new_float(value.at(row, static_cast<std::size_t>(j)));
        });
    });
}

PyObject* to_python(const JointPair& value) {
    const double items[] = {value.theta_a, value.theta_b};
    return new_float_tuple(items);
}

PyObject* to_python(const JointPairList& value) {
    return new_list(static_cast<Py_ssize_t>(value.count), [&](Py_ssize_t i) {
        return to_python(value.pairs[static_cast<std::size_t>(i)]);
    });
}

PyObject* to_python(const JointTriple& value) {
    const double items[] = {value.yaw, value.pitch, value.roll};
    return new_float_tuple(items);
}

PyObject* to_python(const arm::NearestPair& value) {
    const double items[] = {value.joints.theta_a, value.joints.theta_b, value.distance};
    return new_float_tuple(items);
}

PyObject* to_python(std::string_view value) {
    PyObject* result =
        PyUnicode_FromStringAndSize(value.data(), static_cast<Py_ssize_t>(value.size()));
    if (result == nullptr) {
        fail_python_api_call();
    }
    return result;
}

PyObject* to_python(arm::Branch value) { return to_python(arm::branch_name(value)); }

}  // namespace torso::py
