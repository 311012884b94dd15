// Releasing the interpreter lock for a long array call, and the signal checks meanwhile.
#include "module/row_blocks.h"

#include <sys/syscall.h>
#include <unistd.h>

namespace torso::py {
namespace {

/// How long the calling thread computes between two signal checks. Ctrl-C then ends a call
/// within about this long (plus one block); a check costs about a microsecond when no other
/// thread wants the lock, so the rows do not feel it.
constexpr auto kSignalCheckInterval = std::chrono::milliseconds(10);

/// Whether this is the process's main thread, the only one on which CPython runs signal
/// handlers (a fork's child makes its forking thread both). Asked without the lock.
bool on_main_thread() { return syscall(SYS_gettid) == getpid(); }

}  // namespace

UnlockedCall::UnlockedCall()
    : saved_(PyEval_SaveThread()),
      checks_signals_(on_main_thread()),
      next_check_(std::chrono::steady_clock::now() + kSignalCheckInterval) {}

bool UnlockedCall::check_signals() {
    PyEval_RestoreThread(saved_);  // may end the thread at shutdown: a forced unwind
    if (PyErr_CheckSignals() != 0) {
        interrupted_ = true;
        return false;
    }
    saved_ = PyEval_SaveThread();
    next_check_ = std::chrono::steady_clock::now() + kSignalCheckInterval;
    return true;
}

void UnlockedCall::relock() {
    if (!interrupted_) {
        PyEval_RestoreThread(saved_);
    }
}

}  // namespace torso::py
