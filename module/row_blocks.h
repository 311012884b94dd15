// The rows of an array call, handed out in blocks to the threads that compute them, with the
// interpreter lock released meanwhile and taken back now and then to run signal handlers.
#pragma once

#include <Python.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <exception>
#include <optional>
#include <thread>
#include <vector>

#include "module/guard.h"

namespace torso::py {

/// Rows [begin, end) of a call.
struct RowBlock {
    Py_ssize_t begin;
    Py_ssize_t end;
};

/// The rows of a call, handed out block after block, in order, to whichever thread asks next;
/// once stopped, no more blocks are handed out.
class BlockQueue {
public:
    BlockQueue(Py_ssize_t rows, Py_ssize_t block_rows) : rows_(rows), block_rows_(block_rows) {}

    std::optional<RowBlock> next() noexcept {
        if (stop_.load(std::memory_order_relaxed)) {
            return std::nullopt;
        }
        const Py_ssize_t begin = next_.fetch_add(block_rows_, std::memory_order_relaxed);
        if (begin >= rows_) {
            return std::nullopt;
        }
        return RowBlock{begin, std::min(rows_, begin + block_rows_)};
    }
    void stop() noexcept { stop_.store(true, std::memory_order_relaxed); }

private:
    // Touched once a block (about 0.1 ms of work): sharing a cache line costs nothing here.
    std::atomic<Py_ssize_t> next_{0};
    std::atomic<bool> stop_{false};
    const Py_ssize_t rows_;
    const Py_ssize_t block_rows_;
};

/// The interpreter lock, released by the calling thread for the rows of a long call and taken
/// back explicitly, never from a destructor: at interpreter shutdown, taking it back ends the
/// thread (CPython calls pthread_exit), and that forced unwind must not cross a noexcept frame.
class UnlockedCall {
public:
    UnlockedCall();
    UnlockedCall(const UnlockedCall&) = delete;
    UnlockedCall& operator=(const UnlockedCall&) = delete;

    /// Between two blocks on the calling thread: every few milliseconds, and on the main thread
    /// only (the one that runs signal handlers), take the lock back and run the handlers. False
    /// when one raised (Ctrl-C's KeyboardInterrupt), with the error set and the lock held.
    bool keep_going() {
        if (!checks_signals_ || std::chrono::steady_clock::now() < next_check_) {
            return true;
        }
        return check_signals();
    }

    /// Take the lock back, unless a signal check kept it. May end the thread (see above).
    void relock();
    /// Whether a signal handler raised, the error being set.
    bool interrupted() const { return interrupted_; }

private:
    bool check_signals();

    PyThreadState* saved_;
    bool checks_signals_;
    bool interrupted_ = false;
    std::chrono::steady_clock::time_point next_check_;
};

/// What one thread of a call asks for its blocks: the calling thread's cursor also runs the
/// signal checks of the released lock, and stops every thread when a handler raised.
class BlockCursor {
public:
    BlockCursor(BlockQueue& queue, std::size_t thread, UnlockedCall* unlocked)
        : queue_(queue), unlocked_(unlocked), thread_(thread) {}

    std::optional<RowBlock> next() {
        if (unlocked_ != nullptr && !unlocked_->keep_going()) {
            queue_.stop();
            return std::nullopt;
        }
        return queue_.next();
    }
    /// 0 for the calling thread, then 1, 2, ... for the workers.
    std::size_t thread() const { return thread_; }

private:
    BlockQueue& queue_;
    UnlockedCall* unlocked_;
    std::size_t thread_;
};

/// `rows(cursor)` on the calling thread and on `threads - 1` workers, each taking blocks from
/// `queue` until none is left; the workers are joined before returning, also when the calling
/// thread is unwound. A worker that cannot be started leaves its share to the others.
template <class Rows>
void run_blocks(BlockQueue& queue, std::size_t threads, UnlockedCall* unlocked, Rows& rows) {
    std::vector<std::jthread> workers;
    workers.reserve(threads - 1);
    // Declared after the workers, so destroyed first: they stop taking blocks before they are
    // joined, however this thread leaves.
    struct StopOnExit {
        BlockQueue& queue;
        ~StopOnExit() { queue.stop(); }
    } stop_on_exit{queue};
    for (std::size_t k = 1; k < threads; ++k) {
        try {
            workers.emplace_back([&queue, &rows, k] {
                BlockCursor cursor(queue, k, nullptr);
                rows(cursor);
            });
        } catch (const std::exception&) {
            break;  // no thread to be had (std::system_error, std::bad_alloc)
        }
    }
    BlockCursor cursor(queue, 0, unlocked);
    rows(cursor);
}

}  // namespace torso::py
