// numpy arrays at the boundary: reading rows, checking shapes, the workers argument, the result.
//
// numpy is reached through the buffer protocol and a few of its Python functions (asarray,
// empty, broadcast_to), imported on the first array call: the module needs no numpy to build
// or to import, and one build serves every numpy version.
#include "module/arrays.h"

#include <sched.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "module/out_array.h"

namespace torso::py {
namespace {

/// The numpy functions and types the array methods use, looked up once and kept.
struct Numpy {
    PyObject* asarray;
    PyObject* array;
    PyObject* empty;
    PyObject* broadcast_to;
    PyObject* float64;
    PyObject* bool_;
    PyObject* float64_c_order_names;  // ("dtype", "order"), keywords of array
    PyObject* c_order;                // "C"
};

Numpy* g_numpy = nullptr;

/// numpy's functions and types, imported and looked up on first use; false with the error
/// set when that fails (they are then looked up again next time).
bool load_numpy(Numpy& out) {
    Ref numpy(PyImport_ImportModule("numpy"));
    if (!numpy) {
        return false;
    }
    const auto attribute = [&](const char* name) {
        return PyObject_GetAttrString(numpy.get(), name);
    };
    Ref asarray(attribute("asarray")), array(asarray ? attribute("array") : nullptr);
    Ref empty(array ? attribute("empty") : nullptr);
    Ref broadcast_to(empty ? attribute("broadcast_to") : nullptr);
    Ref float64(broadcast_to ? attribute("float64") : nullptr);
    Ref bool_(float64 ? attribute("bool_") : nullptr);
    Ref names(bool_ ? Py_BuildValue("(ss)", "dtype", "order") : nullptr);
    Ref c_order(names ? PyUnicode_InternFromString("C") : nullptr);
    if (!c_order) {
        return false;
    }
    out = {asarray.release(), array.release(), empty.release(), broadcast_to.release(),
           float64.release(), bool_.release(), names.release(), c_order.release()};
    return true;
}

/// ImportError "<method> needs numpy, which could not be imported: <why>", caused by the
/// import's own error.
[[gnu::cold]] void raise_numpy_missing(const MethodSignature& signature) {
    resume_panic_from_python();
    PyObject *type, *value, *traceback;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    Ref old_type(type), old_value(value), old_traceback(traceback);
    if (traceback != nullptr && value != nullptr) {
        PyException_SetTraceback(value, traceback);
    }
    Ref why(value != nullptr ? PyObject_Str(value) : nullptr);
    if (!why) {
        resume_panic_from_python();
        PyErr_Clear();
        why = Ref(PyUnicode_FromString("no reason given"));
    }
    Ref message(why ? PyUnicode_FromFormat("%s.%s() needs numpy, which could not be imported: %U",
                                           signature.class_name, signature.method_name, why.get())
                    : nullptr);
    Ref error(message ? PyObject_CallOneArg(PyExc_ImportError, message.get()) : nullptr);
    if (!error) {
        fail_python_api_call();
    }
    PyException_SetCause(error.get(), old_value.release());
    PyErr_SetObject(PyExc_ImportError, error.get());
}

/// numpy for an array method, or null with its ImportError set.
const Numpy* numpy_for(const MethodSignature& signature) {
    static Numpy loaded;
    if (g_numpy == nullptr) {
        Numpy fresh{};
        if (!load_numpy(fresh)) {
            raise_numpy_missing(signature);
            return nullptr;
        }
        // The import may run Python code and let another thread in: the first one stored wins
        // (the other thread looked up the same objects, and keeps its references to them).
        if (g_numpy == nullptr) {
            loaded = fresh;
            g_numpy = &loaded;
        }
    }
    return g_numpy;
}

/// Where `out` is bound: the last parameter of every array method.
std::size_t out_slot(const ArraySignature& signature) {
    return signature.binding.params.size() - 1;
}

/// The row shape after a leading part: "N, 3", "..., 3, 3".
std::string expected_shape_text(const char* leading, const RowShape& row) {
    std::string text = std::string("(") + leading;
    for (std::size_t i = 0; i < row.rank; ++i) {
        text += ", " + std::to_string(row.dims[i]);
    }
    return text + ")";
}

[[gnu::cold]] bool raise_wrong_shape(const char* name, const ArrayParam& param,
                                     std::span<const Py_ssize_t> shape) {
    const char* leading = param.leading == Leading::one_axis ? "N" : "...";
    PyErr_Format(PyExc_ValueError, "%s must have shape %s, got %s", name,
                 expected_shape_text(leading, param.row).c_str(), shape_text(shape).c_str());
    return false;
}

[[gnu::cold]] bool raise_not_broadcastable(const char* name, std::span<const Py_ssize_t> target,
                                           std::span<const Py_ssize_t> shape) {
    PyErr_Format(PyExc_ValueError, "%s must broadcast to shape %s, got %s", name,
                 shape_text(target).c_str(), shape_text(shape).c_str());
    return false;
}

/// The leading shape followed by the row's dims.
std::vector<Py_ssize_t> with_row(std::span<const Py_ssize_t> leading, const RowShape& row) {
    std::vector<Py_ssize_t> shape(leading.begin(), leading.end());
    shape.insert(shape.end(), row.dims.begin(),
                 row.dims.begin() + static_cast<std::ptrdiff_t>(row.rank));
    return shape;
}

/// What an array of a dtype kind that is no real number holds, for the refusal's message.
const char* kind_contents(char kind) {
    switch (kind) {
        case 'c': return "complex numbers";
        case 'O': return "objects";
        case 'U':
        case 'S': return "text";
        case 'M': return "dates";
        case 'm': return "time spans";
        default: return "records";
    }
}

/// The one-letter kind of an array's dtype (numpy's `dtype.kind`), or 0 with the error set.
/// (The kind is read in C: the dtype's name would run numpy's Python code.)
char dtype_kind(PyObject* array) {
    Ref dtype(PyObject_GetAttrString(array, "dtype"));
    Ref kind(dtype ? PyObject_GetAttrString(dtype.get(), "kind") : nullptr);
    if (!kind) {
        return 0;
    }
    const char* text = PyUnicode_Check(kind.get()) ? PyUnicode_AsUTF8(kind.get()) : nullptr;
    if (text == nullptr || std::strlen(text) != 1) {
        fail_internally("numpy dtype without a one-letter kind");
    }
    return text[0];
}

/// Whether a dtype kind holds real numbers (bool, int, uint, float).
bool is_real_kind(char kind) { return std::strchr("biuf", kind) != nullptr; }

[[gnu::cold]] bool raise_not_real_kind(char kind) {
    PyErr_Format(PyExc_TypeError, "expected an array of real numbers, not %s", kind_contents(kind));
    return false;
}

/// Whether a buffer's format is a float64 in this machine's byte order: "d", or "d" after a
/// prefix that means native order ("@", "=", and "<" or ">" for the order of this machine), as
/// ctypes and memoryview.cast write it.
bool is_native_float64(const char* format) {
    if (format == nullptr) {
        return false;  // unsigned bytes
    }
    constexpr char kNativeOrder = std::endian::native == std::endian::little ? '<' : '>';
    std::string_view text(format);
    if (!text.empty() && (text[0] == '@' || text[0] == '=' || text[0] == kNativeOrder)) {
        text.remove_prefix(1);
    }
    return text == "d";
}

/// `visit(address)` on `count` elements of a buffer, from the element numbered `first` in C
/// order (the last axis fastest), whatever the strides; stops at the first visit that returns
/// false, and returns false then.
template <class Visit>
bool for_each_element(const Py_buffer& view, Py_ssize_t first, Py_ssize_t count, Visit visit) {
    if (count == 0) {
        return true;  // an axis may be empty: no element to find
    }
    const auto dims = static_cast<std::size_t>(view.ndim);
    std::array<Py_ssize_t, PyBUF_MAX_NDIM> index{};
    const char* at = static_cast<const char*>(view.buf);
    for (std::size_t k = dims; k-- > 0;) {
        index[k] = first % view.shape[k];
        first /= view.shape[k];
        at += index[k] * view.strides[k];
    }
    for (Py_ssize_t n = 0; n < count; ++n) {
        if (!visit(at)) {
            return false;
        }
        for (std::size_t k = dims; k-- > 0;) {  // the next element: carry as an odometer does
            at += view.strides[k];
            if (++index[k] < view.shape[k]) {
                break;
            }
            at -= view.strides[k] * view.shape[k];
            index[k] = 0;
        }
    }
    return true;
}

/// Whether `shape` ends with the row shape (and, for one_axis, has exactly one axis before it).
bool has_row_shape(std::span<const Py_ssize_t> shape, const ArrayParam& param) {
    if (shape.size() < param.row.rank ||
        (param.leading == Leading::one_axis && shape.size() != param.row.rank + 1)) {
        return false;
    }
    const std::size_t lead = shape.size() - param.row.rank;
    for (std::size_t i = 0; i < param.row.rank; ++i) {
        if (shape[lead + i] != param.row.dims[i]) {
            return false;
        }
    }
    return true;
}

/// Whether `leading` broadcasts to `target` as numpy broadcasts an operand to a shape.
bool broadcasts_to(std::span<const Py_ssize_t> leading, std::span<const Py_ssize_t> target) {
    if (leading.size() > target.size()) {
        return false;
    }
    const std::size_t offset = target.size() - leading.size();
    for (std::size_t i = 0; i < leading.size(); ++i) {
        if (leading[i] != 1 && leading[i] != target[offset + i]) {
            return false;
        }
    }
    return true;
}

Py_ssize_t product(std::span<const Py_ssize_t> dims) {
    Py_ssize_t count = 1;
    for (const Py_ssize_t d : dims) {
        count *= d;
    }
    return count;
}

/// A new tuple of the dims, then the row's dims.
Ref shape_tuple(std::span<const Py_ssize_t> leading, const RowShape& row) {
    Ref tuple(PyTuple_New(static_cast<Py_ssize_t>(leading.size() + row.rank)));
    if (!tuple) {
        return tuple;
    }
    Py_ssize_t at = 0;
    const auto append = [&](Py_ssize_t d) {
        PyObject* item = PyLong_FromSsize_t(d);
        if (item == nullptr) {
            fail_python_api_call();
        }
        PyTuple_SET_ITEM(tuple.get(), at++, item);
    };
    for (const Py_ssize_t d : leading) {
        append(d);
    }
    for (std::size_t i = 0; i < row.rank; ++i) {
        append(row.dims[i]);
    }
    return tuple;
}

/// CPUs this process may run on (its affinity mask); at least 1.
std::size_t available_cpus() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        return static_cast<std::size_t>(std::max(1, CPU_COUNT(&set)));
    }
    return std::max(1u, std::thread::hardware_concurrency());  // more CPUs than the set holds
}

/// `workers`: a positive int, or -1 for every CPU the process may run on. A bool or a non-int
/// is a TypeError, 0 and other negatives a ValueError.
bool read_workers(PyObject* object, std::size_t& out) {
    if (PyBool_Check(object) || !PyIndex_Check(object)) {
        PyErr_Format(PyExc_TypeError, "expected an int, not %.200s", Py_TYPE(object)->tp_name);
        return false;
    }
    Ref index(PyNumber_Index(object));
    if (!index) {
        return false;
    }
    int overflow = 0;
    const long long value = PyLong_AsLongLongAndOverflow(index.get(), &overflow);
    if (value == -1 && PyErr_Occurred()) {
        return false;
    }
    if (overflow > 0) {
        out = std::numeric_limits<std::size_t>::max();  // more than there are rows: capped later
        return true;
    }
    if (overflow < 0 || value == 0 || value < -1) {
        PyErr_Format(PyExc_ValueError, "workers must be a positive int or -1, got %S", index.get());
        return false;
    }
    out = value == -1 ? available_cpus() : static_cast<std::size_t>(value);
    return true;
}

}  // namespace

RowArray::~RowArray() { release(); }

void RowArray::release() {
    if (held_) {
        PyBuffer_Release(&view_);
        held_ = false;
    }
}

bool RowArray::hold(PyObject* object, bool any_format) {
    if (!PyObject_CheckBuffer(object)) {
        return false;
    }
    if (PyObject_GetBuffer(object, &view_, PyBUF_RECORDS_RO) != 0) {
        resume_panic_from_python();
        PyErr_Clear();  // numpy refuses buffers of some dtypes (dates): asarray reads them
        return false;
    }
    // A one-value array may come without strides; any other must have them (asked for).
    if ((view_.strides != nullptr || view_.ndim == 0) && view_.ndim <= PyBUF_MAX_NDIM &&
        (any_format || (view_.itemsize == sizeof(double) && is_native_float64(view_.format)))) {
        held_ = true;
        return true;
    }
    PyBuffer_Release(&view_);
    return false;
}

bool RowArray::read(PyObject* object) {
    const Numpy& numpy = *g_numpy;  // loaded before any argument is read
    if (hold(object, false)) {
        return true;
    }
    Ref array(PyObject_CallOneArg(numpy.asarray, object));
    if (!array) {
        return false;
    }
    if (hold(array.get(), false)) {
        return true;  // asarray made it float64 already (a nested list of floats)
    }
    const char kind = dtype_kind(array.get());
    if (kind == 0) {
        return false;
    }
    if (kind == 'O') {
        return read_objects(array.get());  // Fractions, Decimals, ints past 64 bits
    }
    if (!is_real_kind(kind)) {
        return raise_not_real_kind(kind);
    }
    // Nothing to read in an empty array, only its shape, which a float64 copy may be too big
    // for numpy to describe.
    if (hold(array.get(), true)) {
        if (product(shape()) == 0) {
            return true;
        }
        release();
    }
    PyObject* call[] = {array.get(), numpy.float64, numpy.c_order};
    Ref converted(PyObject_Vectorcall(numpy.array, call, 1, numpy.float64_c_order_names));
    if (!converted) {
        return false;
    }
    if (!hold(converted.get(), false)) {
        fail_internally("numpy.array gave no float64 array");
    }
    return true;
}

bool RowArray::read_objects(PyObject* array) {
    Py_buffer objects;
    if (PyObject_GetBuffer(array, &objects, PyBUF_RECORDS_RO) != 0) {
        return false;
    }
    const std::span<const Py_ssize_t> dims(objects.shape, static_cast<std::size_t>(objects.ndim));
    Ref shape(shape_tuple(dims, kScalarRow));
    Ref values(
        shape ? PyObject_CallFunctionObjArgs(g_numpy->empty, shape.get(), g_numpy->float64, nullptr)
              : nullptr);
    if (!values || !hold(values.get(), false)) {
        PyBuffer_Release(&objects);
        if (values) {
            fail_internally("numpy.empty gave no float64 array");
        }
        return false;
    }
    // As float() reads each: __float__ for Fraction and Decimal, correctly rounded for ints.
    auto* out = static_cast<double*>(view_.buf);
    const bool read_all = for_each_element(objects, 0, product(dims), [&out](const char* address) {
        PyObject* item = nullptr;
        std::memcpy(static_cast<void*>(&item), address, sizeof(PyObject*));
        item = item != nullptr ? item : Py_None;  // numpy reads a null slot as None
        const Ref held = Ref::borrow(item);       // __float__ may replace it in the array
        *out = PyFloat_AsDouble(item);
        if (*out == -1.0 && PyErr_Occurred()) {
            resume_panic_from_python();
            if (PyErr_ExceptionMatches(PyExc_TypeError)) {
                PyErr_Format(PyExc_TypeError, "expected an array of real numbers, not %.200s",
                             Py_TYPE(item)->tp_name);
            }
            return false;
        }
        ++out;
        return true;
    });
    PyBuffer_Release(&objects);
    return read_all;
}

bool RowArray::broadcast(std::span<const Py_ssize_t> shape) {
    Ref target(shape_tuple(shape, kScalarRow));
    if (!target) {
        return false;
    }
    Ref held = Ref::borrow(view_.obj);
    Ref broadcast_view(
        PyObject_CallFunctionObjArgs(g_numpy->broadcast_to, held.get(), target.get(), nullptr));
    if (!broadcast_view) {
        return false;
    }
    release();
    return read(broadcast_view.get());
}

std::optional<RowSource> RowArray::rows_in_place(std::size_t row_rank) const {
    const auto dims = static_cast<std::size_t>(view_.ndim);
    const auto* data = static_cast<const double*>(view_.buf);
    if (product(shape()) == 0) {
        return RowSource{data, 0};
    }
    constexpr auto kDouble = static_cast<Py_ssize_t>(sizeof(double));
    if (reinterpret_cast<std::uintptr_t>(data) % alignof(double) != 0) {
        return std::nullopt;
    }
    Py_ssize_t contiguous = kDouble;  // a row's values one after the other
    for (std::size_t k = dims; k-- > dims - row_rank;) {
        if (view_.shape[k] != 1 && view_.strides[k] != contiguous) {
            return std::nullopt;
        }
        contiguous *= view_.shape[k];
    }
    // Row i at a fixed step: each leading axis (of more than one row) steps over all the rows
    // of the axes after it.
    Py_ssize_t step = 0;  // of the last axis of more than one row, 0 if none
    Py_ssize_t span = 0;
    bool stepped = false;
    for (std::size_t k = dims - row_rank; k-- > 0;) {
        if (view_.shape[k] == 1) {
            continue;
        }
        if (!stepped) {
            step = view_.strides[k];
            stepped = true;
        } else if (view_.strides[k] != span) {
            return std::nullopt;
        }
        span = view_.strides[k] * view_.shape[k];
    }
    if (step % kDouble != 0) {
        return std::nullopt;
    }
    return RowSource{data, step / kDouble};
}

void RowArray::copy_rows(RowBlock block, Py_ssize_t row_size, double* out) const {
    for_each_element(view_, block.begin * row_size, (block.end - block.begin) * row_size,
                     [&out](const char* address) {
                         std::memcpy(out++, address, sizeof(double));
                         return true;
                     });
}

ArrayCall::~ArrayCall() {
    if (out_held_) {
        PyBuffer_Release(&out_view_);
    }
}

bool ArrayCall::read_inputs(const ArraySignature& signature, PyObject* const* slots) {
    for (std::size_t i = 0; i < signature.inputs.size(); ++i) {
        const ArrayParam& param = signature.inputs[i];
        const char* name = signature.binding.params[i].name;
        PyObject* slot = slots[i];
        if (slot == nullptr || (param.optional && slot == Py_None)) {
            continue;  // an optional array left out: its rows are absent
        }
        RowArray& input = inputs_[i];
        if (!input.read(slot)) {
            wrap_argument_error(name);
            return false;
        }
        if (!has_row_shape(input.shape(), param)) {
            return raise_wrong_shape(name, param, input.shape());
        }
        const auto leading = input.shape().first(input.shape().size() - param.row.rank);
        if (i == 0) {
            leading_.assign(leading.begin(), leading.end());
            rows_ = product(leading);
        } else if (!std::ranges::equal(leading, leading_)) {
            const std::vector<Py_ssize_t> target = with_row(leading_, param.row);
            if (!broadcasts_to(leading, leading_)) {
                return raise_not_broadcastable(name, target, input.shape());
            }
            // One row serves every row at a step of 0, without numpy's view.
            if (product(leading) != 1 && !input.broadcast(target)) {
                return false;
            }
        }
        row_sizes_[i] = param.row.size();
        if (const std::optional<RowSource> in_place = input.rows_in_place(param.row.rank)) {
            sources_[i] = *in_place;
        } else {
            copied_[i] = true;  // block by block
            copy_offsets_[i] = copy_width_;
            copy_width_ += row_sizes_[i];
        }
    }
    return true;
}

bool ArrayCall::allocate_copies() {
    if (copy_width_ == 0) {
        return true;
    }
    copy_block_ = std::min(block_rows_, rows_);
    try {
        copies_.resize(static_cast<std::size_t>(copy_width_ * copy_block_) * chunks_);
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
        return false;
    }
    copies_data_ = copies_.data();
    return true;
}

RowSource ArrayCall::block_rows(std::size_t input, RowBlock block, std::size_t thread) const {
    if (!copied_[input]) {
        const RowSource& rows = sources_[input];
        return {rows.at(block.begin), rows.step};
    }
    const Py_ssize_t at =
        ((static_cast<Py_ssize_t>(thread) * copy_width_) + copy_offsets_[input]) * copy_block_;
    double* copy = copies_data_ + at;
    inputs_[input].copy_rows(block, row_sizes_[input], copy);
    return {copy, row_sizes_[input]};
}

bool ArrayCall::adopt_out(const ArraySignature& signature, PyObject* const* slots, PyObject* out,
                          bool bool_result) {
    if (!hold_out_array(out, with_row(leading_, signature.out), bool_result, out_view_)) {
        return false;
    }
    out_held_ = true;
    // Rows are read while rows are written: `out` must lie apart from what the caller passed
    // and from what is read (numpy.asarray of an object without a buffer may be a view).
    for (std::size_t i = 0; i < signature.inputs.size(); ++i) {
        const char* name = signature.binding.params[i].name;
        PyObject* read = inputs_[i].source();
        if (!check_apart_from_out(out_view_, slots[i], name) ||
            (read != slots[i] && !check_apart_from_out(out_view_, read, name))) {
            return false;
        }
    }
    result_ = Ref::borrow(out);
    out_row_size_ = signature.out.size();
    return true;
}

bool ArrayCall::allocate_result(const ArraySignature& signature, PyObject* const* slots,
                                bool bool_result) {
    PyObject* out = slots[out_slot(signature)];
    if (out != nullptr && out != Py_None) {
        return adopt_out(signature, slots, out, bool_result);
    }
    Ref shape = shape_tuple(leading_, signature.out);
    if (!shape) {
        return false;
    }
    result_ = Ref(PyObject_CallFunctionObjArgs(
        g_numpy->empty, shape.get(), bool_result ? g_numpy->bool_ : g_numpy->float64, nullptr));
    if (!result_) {
        return false;
    }
    if (PyObject_GetBuffer(result_.get(), &out_view_, PyBUF_WRITABLE | PyBUF_C_CONTIGUOUS) != 0) {
        fail_python_api_call();
    }
    out_held_ = true;
    out_row_size_ = signature.out.size();
    const Py_ssize_t element = bool_result ? 1 : static_cast<Py_ssize_t>(sizeof(double));
    if (out_view_.len != rows_ * out_row_size_ * element) {
        fail_internally("numpy.empty gave an array of an unexpected size");
    }
    return true;
}

bool ArrayCall::prepare(const ArraySignature& signature, PyObject* self, PyObject* const* slots,
                        bool bool_result) {
    receiver_ = Ref::borrow(self);
    if (numpy_for(signature.binding) == nullptr || !read_inputs(signature, slots)) {
        return false;
    }
    auto workers = static_cast<std::size_t>(kDefaultWorkers);
    const std::size_t workers_slot = signature.inputs.size();
    if (workers_slot < out_slot(signature) && slots[workers_slot] != nullptr &&
        !read_workers(slots[workers_slot], workers)) {
        wrap_argument_error(signature.binding.params[workers_slot].name);
        return false;
    }
    rows_per_chunk_ = signature.rows_per_chunk;
    block_rows_ = rows_per_chunk_;
    const auto worth = static_cast<std::size_t>(std::max<Py_ssize_t>(1, rows_ / rows_per_chunk_));
    chunks_ = std::min(workers, worth);
    if (chunks_ > 1) {
        chunks_ = std::min(chunks_, available_cpus());  // more threads than CPUs only wait
    }
    return allocate_copies() && allocate_result(signature, slots, bool_result);
}

void ArrayCall::take_lock_back(UnlockedCall& unlocked) {
    try {
        unlocked.relock();
    } catch (...) {  // only a forced unwind: taking the lock back runs no C++ code that throws
        abandon();
        throw;
    }
}

void ArrayCall::abandon() noexcept {
    for (RowArray& input : inputs_) {
        input.abandon();
    }
    out_held_ = false;
    static_cast<void>(receiver_.release());
    static_cast<void>(result_.release());
}

}  // namespace torso::py
