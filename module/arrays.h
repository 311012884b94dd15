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
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "module/binder.h"
#include "module/guard.h"
#include "module/ref.h"
#include "module/row_blocks.h"
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

/// A float64 array in native byte order read through the buffer protocol, in whatever layout
/// it comes (strided, broadcast, unaligned), held until destroyed (which needs the interpreter
/// lock).
class RowArray {
public:
    RowArray() = default;
    RowArray(const RowArray&) = delete;
    RowArray& operator=(const RowArray&) = delete;
    ~RowArray();

    /// Read `object` as numpy.asarray(object, dtype=float64) reads it, without a copy when it
    /// is a float64 array already. False with the error set; a dtype that is not a real number
    /// (complex, text, dates), or an object that is no real number, is a TypeError.
    bool read(PyObject* object);
    /// Read numpy.broadcast_to(array, shape) in place of the array held.
    bool broadcast(std::span<const Py_ssize_t> shape);

    std::span<const Py_ssize_t> shape() const {
        return {view_.shape, static_cast<std::size_t>(view_.ndim)};
    }
    /// The rows, each the last `row_rank` axes, when each row is contiguous and aligned and
    /// starts a fixed step after the one before; none when they must be copied (copy_rows).
    std::optional<RowSource> rows_in_place(std::size_t row_rank) const;
    /// Copy the rows of `block`, `row_size` values each, to `out`. Needs no interpreter lock.
    void copy_rows(RowBlock block, Py_ssize_t row_size, double* out) const;
    /// Forget the buffer without releasing it: the interpreter is gone.
    void abandon() { held_ = false; }
    /// The object whose memory is read; null when none is held.
    PyObject* source() const { return held_ ? view_.obj : nullptr; }

private:
    bool hold(PyObject* object, bool any_format);
    bool read_objects(PyObject* array);
    void release();

    Py_buffer view_{};
    bool held_ = false;
};

/// The converted arguments and the result of one array call, held until the call returns.
class ArrayCall {
public:
    /// Convert the bound arguments in parameter order and allocate the result (float64, or
    /// bool when `bool_result`), or take the caller's `out` for it; `self` is held until the
    /// call ends. False with the error set, before any row is computed.
    bool prepare(const ArraySignature& signature, PyObject* self, PyObject* const* slots,
                 bool bool_result);

    /// The rows of input `input` in `block`, for the thread numbered `thread`: in place, or
    /// copied into that thread's own rows. No rows (null) for an omitted parameter.
    RowSource block_rows(std::size_t input, RowBlock block, std::size_t thread) const;
    void* out() const { return out_view_.buf; }
    Py_ssize_t out_row_size() const { return out_row_size_; }

    /// `rows(cursor)` on each thread of the call, until the cursor hands out no more blocks;
    /// without the interpreter lock when there are enough rows to pay for handing it over.
    /// False, with the error set and the result not to be used, when a signal handler raised.
    template <class Rows>
    bool run(Rows& rows) {
        if (rows_ == 0) {
            return true;
        }
        BlockQueue queue(rows_, block_rows_);
        if (rows_ < rows_per_chunk_) {
            BlockCursor cursor(queue, 0, nullptr);
            rows(cursor);
            return true;
        }
        UnlockedCall unlocked;
        try {
            run_blocks(queue, chunks_, &unlocked, rows);
        } catch (...) {
            if (is_forced_unwind()) {
                abandon();
            } else {
                take_lock_back(unlocked);  // the guard reports the fault, which needs the lock
            }
            throw;
        }
        take_lock_back(unlocked);
        return !unlocked.interrupted();
    }

    /// The result array (a new reference), given up by this call.
    PyObject* release_result() { return result_.release(); }

    ArrayCall() = default;
    ArrayCall(const ArrayCall&) = delete;
    ArrayCall& operator=(const ArrayCall&) = delete;
    ~ArrayCall();

private:
    bool read_inputs(const ArraySignature& signature, PyObject* const* slots);
    bool allocate_copies();
    bool allocate_result(const ArraySignature& signature, PyObject* const* slots, bool bool_result);
    /// Take the caller's `out` as the result, once it is checked.
    bool adopt_out(const ArraySignature& signature, PyObject* const* slots, PyObject* out,
                   bool bool_result);
    /// Take the interpreter lock back, which ends this thread while the interpreter shuts down.
    void take_lock_back(UnlockedCall& unlocked);
    /// Forget every reference held, unreleased, for a thread ended at shutdown: it runs no
    /// Python code any more, and the interpreter frees nothing of its own either.
    void abandon() noexcept;

    std::array<RowArray, kMaxArrayInputs> inputs_;
    std::array<RowSource, kMaxArrayInputs> sources_{};
    std::array<Py_ssize_t, kMaxArrayInputs> row_sizes_{};
    // Where the rows of the inputs that cannot be read in place are copied to, block by block:
    // each thread has a block's rows of each such input, the input's `copy_offsets_[i]` values
    // into a row of `copy_width_` values (one row of each).
    std::array<bool, kMaxArrayInputs> copied_{};
    std::array<Py_ssize_t, kMaxArrayInputs> copy_offsets_{};
    std::vector<double> copies_;
    double* copies_data_ = nullptr;
    Py_ssize_t copy_width_ = 0;
    Py_ssize_t copy_block_ = 0;
    std::vector<Py_ssize_t> leading_;  // the first input's leading shape, the result's too
    Py_ssize_t rows_ = 0;
    Py_ssize_t out_row_size_ = 1;
    Py_ssize_t rows_per_chunk_ = 1;
    Py_ssize_t block_rows_ = 1;
    std::size_t chunks_ = 1;
    Ref receiver_;
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
bool run_kernel(ArrayCall& call, const Receiver& receiver_value, Kernel& kernel,
                std::index_sequence<I...>) {
    using Out = typename KernelShape<Kernel>::Out;
    static_assert(sizeof(bool) == 1);  // numpy's bool is one byte
    // Each thread works on its own copies of what it reads per row: read through references,
    // they would sit on the calling thread's stack, next to what that thread writes while it
    // computes its own rows, and the cache line would bounce between the cores on every row.
    // One copy of the kernel per thread, so that a kernel carrying state from row to row
    // carries it across the blocks too.
    auto rows = [&call, &receiver_value, &kernel](BlockCursor& cursor) {
        Kernel row_kernel = kernel;
        const Receiver* const receiver = &receiver_value;
        Out* const out = static_cast<Out*>(call.out());
        const Py_ssize_t out_size = call.out_row_size();
        const std::size_t thread = cursor.thread();
        while (const std::optional<RowBlock> block = cursor.next()) {
            const std::array<RowSource, sizeof...(I)> sources{
                call.block_rows(I, *block, thread)...};
            Out* const block_out = out + (block->begin * out_size);
            const Py_ssize_t count = block->end - block->begin;
            for (Py_ssize_t i = 0; i < count; ++i) {
                row_kernel(*receiver, sources[I].at(i)..., block_out + (i * out_size));
            }
        }
    };
    return call.run(rows);
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
        ArrayCall call;
        if (!call.prepare(signature, self, slots, std::is_same_v<typename Shape::Out, bool>) ||
            !detail::run_kernel(call, reinterpret_cast<const Self*>(self)->value(), kernel,
                                std::make_index_sequence<Shape::inputs>{})) {
            return nullptr;
        }
        return call.release_result();
    });
}

}  // namespace torso::py
