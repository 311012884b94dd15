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

#include "core/joints.h"
#include "core/vec.h"
#include "module/binder.h"
#include "module/guard.h"
#include "module/ref.h"

namespace torso::py {

/// The trailing shape of one row of an array: (2), (3) or (3, 3).
struct RowShape {
    std::array<Py_ssize_t, 2> dims;
    std::size_t rank;

    /// Values in one row.
    constexpr Py_ssize_t size() const {
        return rank == 0 ? 1 : (rank == 1 ? dims[0] : dims[0] * dims[1]);
    }
};

inline constexpr RowShape kPairRow{{2, 0}, 1};
inline constexpr RowShape kVectorRow{{3, 0}, 1};
inline constexpr RowShape kMatrixRow{{3, 3}, 2};
/// A 3x2 Jacobian of the arm.
inline constexpr RowShape kJacobianRow{{3, 2}, 2};
/// A row of one value: a bool of a reachability mask.
inline constexpr RowShape kScalarRow{{1, 0}, 0};

/// Which leading shapes an array parameter takes before its row shape.
enum class Leading : unsigned char {
    any,        // (..., row): any leading shape, none included
    one_axis,   // (N, row): a sequence of rows
    broadcast,  // what broadcasts to the leading shape of the first array parameter
};

/// One array parameter: its row shape and its leading shapes.
struct ArrayParam {
    RowShape row;
    Leading leading;
};

/// An array method. Its parameters are the arrays, in order (an optional one may be omitted
/// or None), then `workers` if the method takes it. Without `workers`, the rows run in order
/// on the calling thread, so a kernel may carry state from one row to the next.
struct ArraySignature {
    MethodSignature binding;
    std::span<const ArrayParam> inputs;
    RowShape out;
    /// Rows whose work pays for starting a thread and for handing the interpreter lock over.
    Py_ssize_t rows_per_chunk;
};

/// Least work, in nanoseconds on one core, that a chunk of its own is given. Starting and
/// joining a thread takes 20 to 45 us (core_bench's start_and_join_thread); 100 us keeps a
/// split from ever losing and makes the smallest one, two chunks, about 1.4x faster.
inline constexpr double kChunkNanoseconds = 100'000.0;

/// Rows of a routine taking `row_nanoseconds` per row (its core benchmark) in one chunk.
constexpr Py_ssize_t chunk_rows_for(double row_nanoseconds) noexcept {
    return static_cast<Py_ssize_t>(kChunkNanoseconds / row_nanoseconds) + 1;
}

/// The keyword-only `workers` parameter: a positive int, or -1 for every CPU the process may
/// run on.
inline constexpr Param kWorkersParam{"workers", true, true};

/// The most array parameters a method has.
inline constexpr std::size_t kMaxArrayInputs = 2;

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
    /// bool when `bool_result`). False with the error set.
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
    bool allocate_result(const ArraySignature& signature, bool bool_result);

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

// ---- reading rows and writing results, for the kernels ----

inline Vec3 vec3_at(const double* row) { return {row[0], row[1], row[2]}; }
inline JointTriple triple_at(const double* row) { return {row[0], row[1], row[2]}; }
/// A row-major 3x3 row as the column-major Mat3.
inline Mat3 mat3_at(const double* row) {
    return Mat3{
        {Vec3{row[0], row[3], row[6]}, Vec3{row[1], row[4], row[7]}, Vec3{row[2], row[5], row[8]}}};
}
/// The pair in a row, or none for an omitted parameter.
inline std::optional<JointPair> optional_pair_at(const double* row) {
    return row != nullptr ? std::optional<JointPair>(JointPair{row[0], row[1]}) : std::nullopt;
}

inline void write_row(double* out, const Vec3& v) {
    out[0] = v.x;
    out[1] = v.y;
    out[2] = v.z;
}
inline void write_row(double* out, const JointPair& pair) {
    out[0] = pair.theta_a;
    out[1] = pair.theta_b;
}
inline void write_row(double* out, const JointTriple& joints) {
    out[0] = joints.yaw;
    out[1] = joints.pitch;
    out[2] = joints.roll;
}
/// The matrix's three rows of `cols` entries, row-major, as the scalar methods return it.
template <std::size_t cols, class Matrix>
void write_matrix_rows(double* out, const Matrix& m) {
    for (std::size_t row = 0; row < 3; ++row) {
        for (std::size_t col = 0; col < cols; ++col) {
            out[(cols * row) + col] = m.at(row, col);
        }
    }
}
inline void write_row(double* out, const Mat3& m) { write_matrix_rows<3>(out, m); }
inline void write_row(double* out, const Mat3x2& m) { write_matrix_rows<2>(out, m); }
inline void write_row(double* out, double value) { *out = value; }
inline void write_row(bool* out, bool value) { *out = value; }

/// Doubles that write_row writes for a T.
template <class T>
inline constexpr std::size_t kRowValues = 0;
template <>
inline constexpr std::size_t kRowValues<Vec3> = 3;
template <>
inline constexpr std::size_t kRowValues<Mat3> = 9;
template <>
inline constexpr std::size_t kRowValues<JointPair> = 2;
template <>
inline constexpr std::size_t kRowValues<JointTriple> = 3;
template <>
inline constexpr std::size_t kRowValues<Mat3x2> = 6;
template <>
inline constexpr std::size_t kRowValues<double> = 1;

/// The value's row, or a row of NaN where the routine failed.
template <class T, class E>
void write_row(double* out, const std::expected<T, E>& result) {
    static_assert(kRowValues<T> > 0);
    if (result) {
        write_row(out, *result);
        return;
    }
    for (std::size_t i = 0; i < kRowValues<T>; ++i) {
        out[i] = std::numeric_limits<double>::quiet_NaN();
    }
}

namespace detail {

/// What a kernel `(const Self&, const double* row..., Out* out)` takes: its row inputs and
/// its output element (double or bool).
template <class Kernel>
struct KernelShape {
    using Args = typename CallableTraits<Kernel>::Args;
    static constexpr std::size_t inputs = std::tuple_size_v<Args> - 2;
    using Out = std::remove_pointer_t<std::tuple_element_t<std::tuple_size_v<Args> - 1, Args>>;
    static_assert(std::is_same_v<Out, double> || std::is_same_v<Out, bool>);
};

template <class Self, class Kernel, std::size_t... I>
void run_kernel(const ArrayCall& call, const Self& self, Kernel& kernel,
                std::index_sequence<I...>) {
    using Out = typename KernelShape<Kernel>::Out;
    static_assert(sizeof(bool) == 1);  // numpy's bool is one byte
    // Each chunk works on its own copies of what it reads per row: read through references,
    // they would sit on the calling thread's stack, next to what that thread writes while it
    // computes its own chunk, and the cache line would bounce between the cores on every row.
    const auto rows = [&call, &self, &kernel](Py_ssize_t begin, Py_ssize_t end) {
        Kernel row_kernel = kernel;
        const Self* const receiver = &self;
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
/// the result, and run `kernel(self, row..., out)` on every row; the kernel calls the same core
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
        detail::run_kernel(call, *reinterpret_cast<const Self*>(self), kernel,
                           std::make_index_sequence<Shape::inputs>{});
        return call.release_result();
    });
}

}  // namespace torso::py
