// The `out` of an array method: a caller's numpy array that receives the result in place of a
// new one, checked before any row is computed.
#pragma once

#include <Python.h>

#include <span>
#include <string>

namespace torso::py {

/// "(5, 3)", "(5,)" or "()": a shape as Python writes a tuple.
std::string shape_text(std::span<const Py_ssize_t> shape);

/// Hold the writeable buffer of `object` in `view` when it is a numpy array of exactly `shape`
/// and of dtype float64 (bool when `bool_result`), aligned and C-contiguous. False with the
/// error set otherwise: a TypeError for what is no numpy array, a ValueError saying what else
/// is wrong (the shape or dtype, naming the expected and the given ones; read-only; unaligned;
/// not C-contiguous).
bool hold_out_array(PyObject* object, std::span<const Py_ssize_t> shape, bool bool_result,
                    Py_buffer& view);

/// Whether the memory of `input`, read as argument `name`, lies apart from the held `out`
/// (any object without a buffer does); a ValueError otherwise. Overlap is judged by the
/// bounds of the input's elements, as numpy.may_share_memory judges it.
bool check_apart_from_out(const Py_buffer& out, PyObject* input, const char* name);

}  // namespace torso::py
