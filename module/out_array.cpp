// Checking a caller's `out` array: its type, shape, dtype and flags, and where its memory lies.
#include "module/out_array.h"

#include <bit>
#include <cstdint>
#include <cstring>

#include "module/guard.h"
#include "module/ref.h"

namespace torso::py {
namespace {

/// numpy.ndarray, looked up on first use and kept; null with the error set when that fails.
/// (The array methods have imported numpy before they read `out`.)
PyTypeObject* ndarray_type() {
    static PyObject* type = nullptr;
    if (type == nullptr) {
        Ref numpy(PyImport_ImportModule("numpy"));
        Ref found(numpy ? PyObject_GetAttrString(numpy.get(), "ndarray") : nullptr);
        if (!found) {
            return nullptr;
        }
        if (!PyType_Check(found.get())) {
            PyErr_SetString(PyExc_TypeError, "numpy.ndarray is not a type");
            return nullptr;
        }
        if (type == nullptr) {  // the import may have let another thread store it first
            type = found.release();
        }
    }
    return reinterpret_cast<PyTypeObject*>(type);
}

/// Whether the buffer holds native float64 (bool when `bool_result`), as numpy's buffer
/// format writes them: "d" or "?", with at most a prefix that says native byte order.
bool has_result_dtype(const Py_buffer& view, bool bool_result) {
    const char* format = view.format != nullptr ? view.format : "B";
    constexpr char kNativeOrder = std::endian::native == std::endian::little ? '<' : '>';
    if (*format == '@' || *format == '=' || *format == kNativeOrder) {
        ++format;
    }
    return std::strcmp(format, bool_result ? "?" : "d") == 0 &&
           view.itemsize == (bool_result ? 1 : static_cast<Py_ssize_t>(sizeof(double)));
}

bool has_shape(const Py_buffer& view, std::span<const Py_ssize_t> shape) {
    return view.ndim == static_cast<int>(shape.size()) &&
           (shape.empty() || std::memcmp(view.shape, shape.data(), shape.size_bytes()) == 0);
}

[[gnu::cold]] bool raise_not_an_array(PyObject* object) {
    PyErr_Format(PyExc_TypeError, "argument 'out': expected a numpy.ndarray, not %.200s",
                 Py_TYPE(object)->tp_name);
    return false;
}

/// "out must have shape (4, 3, 3) and dtype float64, got shape (4, 3) and dtype float32".
[[gnu::cold]] bool raise_wrong_layout(PyObject* object, std::span<const Py_ssize_t> shape,
                                      bool bool_result) {
    Ref given_shape(PyObject_GetAttrString(object, "shape"));
    Ref given_dtype(given_shape ? PyObject_GetAttrString(object, "dtype") : nullptr);
    if (given_dtype) {
        PyErr_Format(PyExc_ValueError,
                     "out must have shape %s and dtype %s, got shape %R and dtype %S",
                     shape_text(shape).c_str(), bool_result ? "bool" : "float64", given_shape.get(),
                     given_dtype.get());
    }
    return false;
}

[[gnu::cold]] bool raise_unusable(const char* why) {
    PyErr_Format(PyExc_ValueError, "out %s", why);
    return false;
}

/// What is wrong with a buffer of the right shape and dtype, or null when nothing is.
const char* unusable_because(const Py_buffer& view) {
    if (view.readonly != 0) {
        return "is read-only";
    }
    if (reinterpret_cast<std::uintptr_t>(view.buf) % static_cast<std::uintptr_t>(view.itemsize) !=
        0) {
        return "is not aligned";
    }
    if (PyBuffer_IsContiguous(&view, 'C') == 0) {
        return "is not C-contiguous";
    }
    return nullptr;
}

/// The bytes from the lowest to the highest that a buffer's elements occupy: [begin, end),
/// empty when it has no element.
struct Bounds {
    std::uintptr_t begin = 0;
    std::uintptr_t end = 0;

    bool overlaps(const Bounds& other) const {
        return begin < end && other.begin < other.end && begin < other.end && other.begin < end;
    }
};

Bounds bounds_of(const Py_buffer& view) {
    const auto base = reinterpret_cast<std::uintptr_t>(view.buf);
    if (view.strides == nullptr) {
        return {base, base + static_cast<std::uintptr_t>(view.len)};
    }
    Py_ssize_t low = 0;
    Py_ssize_t high = view.itemsize;
    for (int i = 0; i < view.ndim; ++i) {
        if (view.shape[i] == 0) {
            return {};
        }
        const Py_ssize_t reach = (view.shape[i] - 1) * view.strides[i];
        (reach < 0 ? low : high) += reach;
    }
    return {base + static_cast<std::uintptr_t>(low), base + static_cast<std::uintptr_t>(high)};
}

}  // namespace

std::string shape_text(std::span<const Py_ssize_t> shape) {
    std::string text = "(";
    for (std::size_t i = 0; i < shape.size(); ++i) {
        text += (i == 0 ? "" : ", ") + std::to_string(shape[i]);
    }
    return text + (shape.size() == 1 ? ",)" : ")");
}

bool hold_out_array(PyObject* object, std::span<const Py_ssize_t> shape, bool bool_result,
                    Py_buffer& view) {
    PyTypeObject* ndarray = ndarray_type();
    if (ndarray == nullptr) {
        return false;
    }
    if (!PyObject_TypeCheck(object, ndarray)) {
        return raise_not_an_array(object);
    }
    if (PyObject_GetBuffer(object, &view, PyBUF_RECORDS_RO) != 0) {
        resume_panic_from_python();
        PyErr_Clear();  // numpy exports no buffer of some dtypes (dates): not the result's dtype
        return raise_wrong_layout(object, shape, bool_result);
    }
    if (!has_result_dtype(view, bool_result) || !has_shape(view, shape)) {
        PyBuffer_Release(&view);
        return raise_wrong_layout(object, shape, bool_result);
    }
    if (const char* why = unusable_because(view); why != nullptr) {
        PyBuffer_Release(&view);
        return raise_unusable(why);
    }
    return true;
}

bool check_apart_from_out(const Py_buffer& out, PyObject* input, const char* name) {
    if (input == nullptr || !PyObject_CheckBuffer(input)) {
        return true;
    }
    Py_buffer view;
    if (PyObject_GetBuffer(input, &view, PyBUF_STRIDES) != 0) {
        resume_panic_from_python();
        PyErr_Clear();  // read another way (numpy.asarray): what was read is checked too
        return true;
    }
    const bool overlaps = bounds_of(view).overlaps(bounds_of(out));
    PyBuffer_Release(&view);
    if (overlaps) {
        PyErr_Format(PyExc_ValueError, "out must not overlap %s in memory", name);
        return false;
    }
    return true;
}

}  // namespace torso::py
