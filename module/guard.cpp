// PanicException, the trap, and the reporting of panics that come back from Python code.
#include "module/guard.h"

#include <cstdio>
#include <cstdlib>

#include "module/ref.h"

namespace torso::py {
namespace {

constexpr const char* kPanicTypeName = "tarvelo_runtime.PanicException";
constexpr const char* kPanicDoc =
    "The exception raised when the native code of tarvelo_torso_kinematics panics.\n\n"
    "Like SystemExit, this exception is derived from BaseException so that it will\n"
    "typically propagate all the way through the stack and cause the Python interpreter\n"
    "to exit.";
constexpr const char* kGenericFaultMessage =
    "internal fault in the native code of tarvelo_torso_kinematics";
constexpr const char* kTrapText = "uncaught panic at ffi boundary";
constexpr const char* kUnwrappedPanicMessage = "Unwrapped panic from Python code";
constexpr const char* kResumeBanner =
    "--- tarvelo_torso_kinematics is resuming a panic after fetching a PanicException from Python. "
    "---\n"
    "Python stack trace below:\n";

PyObject* g_panic_type = nullptr;

/// The PanicException type, created on first use and kept for the life of the process.
PyObject* panic_type() {
    if (g_panic_type == nullptr) {
        // Often first needed while another exception is pending: keep it aside meanwhile.
        PyObject *pending_type, *pending_value, *pending_traceback;
        PyErr_Fetch(&pending_type, &pending_value, &pending_traceback);
        PyObject* created =
            PyErr_NewExceptionWithDoc(kPanicTypeName, kPanicDoc, PyExc_BaseException, nullptr);
        if (created == nullptr) {
            PyErr_Clear();
        }
        PyErr_Restore(pending_type, pending_value, pending_traceback);
        if (created == nullptr) {
            fail_internally("Failed to initialize new exception type.");
        }
        // Creating the type may run Python code and let another thread in: first one stored wins.
        if (g_panic_type == nullptr) {
            g_panic_type = created;
        } else {
            Py_DECREF(created);
        }
    }
    return g_panic_type;
}

/// str() of an exception, or the fixed text when str() itself fails. Held as UTF-8 with lone
/// surrogates passed through, so that every str (NUL characters included) comes back whole.
std::string panic_message(PyObject* value) {
    Ref text(value != nullptr ? PyObject_Str(value) : nullptr);
    Ref utf8(text ? PyUnicode_AsEncodedString(text.get(), "utf-8", "surrogatepass") : nullptr);
    if (!utf8) {
        PyErr_Clear();
        return kUnwrappedPanicMessage;
    }
    return std::string(PyBytes_AS_STRING(utf8.get()),
                       static_cast<std::size_t>(PyBytes_GET_SIZE(utf8.get())));
}

/// A fault's message as a str: UTF-8 with lone surrogates passed through, and any byte that
/// is not UTF-8 at all (from a foreign exception's text) replaced.
Ref message_text(const std::string& message) {
    const auto size = static_cast<Py_ssize_t>(message.size());
    Ref text(PyUnicode_DecodeUTF8(message.data(), size, "surrogatepass"));
    if (!text) {
        PyErr_Clear();
        text = Ref(PyUnicode_DecodeUTF8(message.data(), size, "replace"));
    }
    return text;
}

}  // namespace

void fail_internally(std::string message) {
    // Deliberately not a std::exception: only the guard catches it, by its own type, so no
    // handler for library exceptions can swallow a broken invariant on the way.
    throw InternalFault{std::move(message)};  // NOLINT(bugprone-std-exception-baseclass)
}

void fail_python_api_call() {
    PyErr_Print();
    fail_internally("Python API call failed");
}

void raise_panic(const std::string& message) {
    PyObject* type = panic_type();
    Ref text = message_text(message);
    if (!text) {
        fail_internally("could not build the panic message");
    }
    PyErr_SetObject(type, text.get());
}

std::string fault_message(const std::exception_ptr& fault) {
    try {
        std::rethrow_exception(fault);
    } catch (const InternalFault& internal) {
        return internal.message;
    } catch (const std::exception& other) {
        return other.what();
    } catch (...) {
        return kGenericFaultMessage;
    }
}

void fire_trap() noexcept {
    std::fputs(kTrapText, stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
    std::abort();
}

void resume_panic_from_python() {
    if (PyErr_Occurred() != panic_type()) {
        return;
    }
    PyObject *exc_type, *exc_value, *exc_traceback;
    PyErr_Fetch(&exc_type, &exc_value, &exc_traceback);
    PyErr_NormalizeException(&exc_type, &exc_value, &exc_traceback);
    std::string message = panic_message(exc_value);
    // Through sys.stderr, where the traceback goes too, so that a redirection takes the whole
    // report; a missing or failing sys.stderr falls back to the process's stderr.
    PySys_WriteStderr("%s", kResumeBanner);
    PyErr_Restore(exc_type, exc_value, exc_traceback);
    PyErr_PrintEx(0);
    fail_internally(std::move(message));
}

}  // namespace torso::py
