// Array methods: arrays of rows in, one core call per row, arrays out, without the interpreter
// lock.
#pragma once

#include <Python.h>

#include <array>
#include <cstddef>
#include <expected>
#include <limits>
#include <optional>
#include <span>
#include <system_error>
#include <thread>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "module/binder.h"
#include "module/guard.h"
#include "module/ref.h"
#include "module/rows.h"

namespace torso::py {

static_assert(std::is_same_v<RowIndex, Py_ssize_t>);

/// An array method. Its parameters are the arrays, in order (an optional one may be omitted
/// or None), then `workers` if the method takes it, then `out`. Without `workers`, the rows
/// run in order on the calling thread, so a kernel may carry state from one row to the next.
struct ArraySignature {
    MethodSignature binding;
    std::span<const ArrayParam> inputs;
    RowShape out;
    /// Rows whose work pays for starting a thread and for handing the interpreter lock over.
    Py_ssize_t rows_per_chunk;
};

/// Rows of one array parameter: where row i starts is `data + i * step` (a step of 0 repeats
/// one row); no data when the parameter was omitted.
struct RowSource {
    const double* data = nullptr;
    Py_ssize_t step = 0;

    const double* at(Py_ssize_t i) const { return data != nullptr ? data + (i * step) : nullptr; }
};

/// A float64 C-contiguous array read through the buffer protocol, held until destroyed (which
/// needs the interpreter lock).
class RowArray {
public:
    RowArray() = default;
    RowArray(const RowArray&) = delete;
    RowArray& operator=(const RowArray&) = delete;
    ~RowArray();

    /// Read `object` as numpy.asarray(object, dtype=float64) reads it, without a copy when it
    /// is a C-contiguous float64 array already. False with the error set; a dtype that is not
    /// a real number (complex, object, text, dates) is a TypeError.
    bool read(PyObject* object);
    /// Read numpy.broadcast_to(array, shape) in place of the array held.
    bool broadcast(std::span<const Py_ssize_t> shape);

    std::span<const Py_ssize_t> shape() const {
        return {view_.shape, static_cast<std::size_t>(view_.ndim)};
    }
    const double* data() const { return static_cast<const double*>(view_.buf); }
    /// The object whose memory is read; null when none is held.
    PyObject* source() const { return held_ ? view_.obj : nullptr; }

private:
    bool hold_if_float64(PyObject* object);
    void release();

    Py_buffer view_{};
    bool held_ = false;
};

/// The interpreter lock, released for the life of this object when `release` is true.
class ReleasedLock {
public:
    explicit ReleasedLock(bool release) : saved_(release ? PyEval_SaveThread() : nullptr) {}
    ReleasedLock(const ReleasedLock&) = delete;
    ReleasedLock& operator=(const ReleasedLock&) = delete;
    ~ReleasedLock() {
        if (saved_ != nullptr) {
            PyEval_RestoreThread(saved_);
        }
    }

private:
    PyThreadState* saved_;
};

/// First row of chunk k of `chunks` near-equal contiguous chunks of `rows` rows.
constexpr Py_ssize_t chunk_begin(Py_ssize_t rows, std::size_t chunks, std::size_t k) {
    const auto n = static_cast<Py_ssize_t>(chunks);
    const auto i = static_cast<Py_ssize_t>(k);
    return ((rows / n) * i) + std::min(i, rows % n);
}

/// `chunk(begin, end)` over `chunks` contiguous chunks of the rows: the first on the calling
/// thread, each other one on a thread of its own, all joined before returning.
template <class Chunk>
void run_in_chunks(Py_ssize_t rows, std::size_t chunks, Chunk& chunk) {
    std::vector<std::jthread> threads;
    threads.reserve(chunks - 1);
    for (std::size_t k = 1; k < chunks; ++k) {
        const Py_ssize_t begin = chunk_begin(rows, chunks, k);
        const Py_ssize_t end = chunk_begin(rows, chunks, k + 1);
        try {
            threads.emplace_back([&chunk, begin, end] { chunk(begin, end); });
        } catch (const std::system_error&) {
            chunk(begin, end);  // no thread to be had: this thread does the chunk
        }
    }
    chunk(0, chunk_begin(rows, chunks, 1));
}

/// The converted arguments and the result of one array call, held until the call returns.
class ArrayCall {
public:
    /// Convert the bound arguments in parameter order and allocate the result (float64, or
    /// bool when `bool_result`), or take the caller's `out` for it. False with the error set,
    /// before any row is computed.
    bool prepare(const ArraySignature& signature, PyObject* const* slots, bool bool_result);

    Py_ssize_t rows() const { return rows_; }
    const RowSource& source(std::size_t input) const { return sources_[input]; }
    void* out() const { return out_view_.buf; }
    Py_ssize_t out_row_size() const { return out_row_size_; }

    /// `chunk(begin, end)` over all rows, in chunks on the workers asked for, without the
    /// interpreter lock when there are enough rows to pay for handing it over.
    template <class Chunk>
    void run(Chunk chunk) const {
        if (rows_ == 0) {
            return;
        }
        ReleasedLock unlocked(rows_ >= rows_per_chunk_);
        run_in_chunks(rows_, chunks_, chunk);
    }

    /// The result array (a new reference), given up by this call.
    PyObject* release_result() { return result_.release(); }

    ArrayCall() = default;
    ArrayCall(const ArrayCall&) = delete;
    ArrayCall& operator=(const ArrayCall&) = delete;
    ~ArrayCall();

private:
    bool read_inputs(const ArraySignature& signature, PyObject* const* slots);
    bool allocate_result(const ArraySignature& signature, PyObject* const* slots, bool bool_result);
    /// Take the caller's `out` as the result, once it is checked.
    bool adopt_out(const ArraySignature& signature, PyObject* const* slots, PyObject* out,
                   bool bool_result);

    std::array<RowArray, kMaxArrayInputs> inputs_;
    std::array<RowSource, kMaxArrayInputs> sources_{};
    std::vector<Py_ssize_t> leading_;  // the first input's leading shape, the result's too
    Py_ssize_t rows_ = 0;
    Py_ssize_t out_row_size_ = 1;
    Py_ssize_t rows_per_chunk_ = 1;
    std::size_t chunks_ = 1;
    Ref result_;
    Py_buffer out_view_{};
    bool out_held_ = false;
};

namespace detail {

/// What a kernel `(const Receiver&, const double* row..., Out* out)` takes: its row inputs and
/// its output element (double or bool).
template <class Kernel>
struct KernelShape {
    using Args = typename CallableTraits<Kernel>::Args;
    static constexpr std::size_t inputs = std::tuple_size_v<Args> - 2;
    using Out = KernelOutput<Kernel>;
    static_assert(std::is_same_v<Out, double> || std::is_same_v<Out, bool>);
};

template <class Receiver, class Kernel, std::size_t... I>
void run_kernel(const ArrayCall& call, const Receiver& receiver_value, Kernel& kernel,
                std::index_sequence<I...>) {
    using Out = typename KernelShape<Kernel>::Out;
    static_assert(sizeof(bool) == 1);  // numpy's bool is one byte
    // Each chunk works on its own copies of what it reads per row: read through references,
    // they would sit on the calling thread's stack, next to what that thread writes while it
    // computes its own chunk, and the cache line would bounce between the cores on every row.
    const auto rows = [&call, &receiver_value, &kernel](Py_ssize_t begin, Py_ssize_t end) {
        Kernel row_kernel = kernel;
        const Receiver* const receiver = &receiver_value;
        Out* const out = static_cast<Out*>(call.out());
        const Py_ssize_t out_size = call.out_row_size();
        const std::array<RowSource, sizeof...(I)> sources{call.source(I)...};
        for (Py_ssize_t i = begin; i < end; ++i) {
            row_kernel(*receiver, sources[I].at(i)..., out + (i * out_size));
        }
    };
    call.run(rows);
}

}  // namespace detail

/// An array method of `Self`, called by vectorcall: bind and convert the arguments, allocate
/// the result, and run `kernel(receiver, row..., out)` on every row; the kernel calls the same core
/// routine as the scalar method and writes its result, or NaN (false) where it fails.
template <class Self, class Kernel>
PyObject* run_rows(const ArraySignature& signature, PyObject* self, PyObject* const* args,
                   Py_ssize_t nargs, PyObject* kwnames, Kernel kernel) {
    return guarded<PyObject*>([&]() -> PyObject* {
        using Shape = detail::KernelShape<Kernel>;
        PyObject* slots[kMaxParams] = {};
        if (!bind_vector(signature.binding, args, nargs, kwnames, slots) ||
            !detail::check_receiver<Self>(self, signature.binding.class_name)) {
            return nullptr;
        }
        Ref hold = Ref::borrow(self);
        ArrayCall call;
        if (!call.prepare(signature, slots, std::is_same_v<typename Shape::Out, bool>)) {
            return nullptr;
        }
        detail::run_kernel(call, reinterpret_cast<const Self*>(self)->value(), kernel,
                           std::make_index_sequence<Shape::inputs>{});
        return call.release_result();
    });
}

}  // namespace torso::py
