// The boundary guard: internal faults become PanicException, nothing escapes to the interpreter.
#pragma once

#include <Python.h>

#include <exception>
#include <new>
#include <string>

namespace torso::py {

/// A broken invariant or an interpreter call that failed where failure is not expected.
/// Thrown only inside the guarded body of an entry point.
struct InternalFault {
    std::string message;
};

/// Throw an InternalFault with `message`, for the guard to turn into a PanicException.
[[noreturn, gnu::cold]] void fail_internally(std::string message);

/// Print the interpreter's pending error and fail with "Python API call failed".
[[noreturn, gnu::cold]] void fail_python_api_call();

/// Set PanicException(message) as the interpreter's error.
[[gnu::cold]] void raise_panic(const std::string& message);

/// Message of a fault caught as an arbitrary C++ exception.
[[gnu::cold]] std::string fault_message(const std::exception_ptr& fault);

/// Write the trap text to standard error and abort: a fault escaped the guarded body.
[[noreturn, gnu::cold]] void fire_trap() noexcept;

/// Whether the pending interpreter error is a PanicException coming back from Python code;
/// if so, report it on standard error and throw it on as an InternalFault with its message.
void resume_panic_from_python();

/// Inside a handler: whether what is being handled is the unwinding of a thread that CPython
/// ends with pthread_exit (one that takes the interpreter lock back while the interpreter shuts
/// down). It is no fault, and whatever catches it must throw it on, or the process aborts. It
/// carries no C++ exception object (so std::current_exception has none), which is also why it
/// is told this way rather than caught as abi::__forced_unwind: that binds a null reference.
inline bool is_forced_unwind() noexcept { return !std::current_exception(); }

/// Run `body` (an entry point's work) so that every fault inside it becomes PanicException.
/// Returns what `body` returns; on a fault, a null value with the error indicator set. Only a
/// forced unwind passes through (which is why this is not noexcept).
template <class Result, class Body>
[[gnu::always_inline]] inline Result guarded(Body&& body) {
    try {
        return body();
    } catch (...) {
        if (is_forced_unwind()) {
            throw;
        }
        try {
            raise_panic(fault_message(std::current_exception()));
        } catch (...) {
            fire_trap();
        }
        return Result{};
    }
}

}  // namespace torso::py
