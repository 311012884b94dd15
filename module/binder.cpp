// Argument binding and its messages, worded as the interpreter words them for Python functions.
#include "module/binder.h"

#include <string>
#include <vector>

namespace torso::py {
namespace {

/// "Class.method()", the name that binding messages use.
std::string full_name(const MethodSignature& signature) {
    return std::string(signature.class_name) + "." + signature.method_name + "()";
}

/// Parameters that can be passed by position: all but the keyword-only ones, which come last.
std::size_t positional_count(const MethodSignature& signature) {
    std::size_t count = 0;
    for (const Param& param : signature.params) {
        count += param.keyword_only ? 0 : 1;
    }
    return count;
}

std::size_t required_positional_count(const MethodSignature& signature) {
    std::size_t count = 0;
    for (const Param& param : signature.params) {
        count += param.optional || param.keyword_only ? 0 : 1;
    }
    return count;
}

[[gnu::cold]] bool raise_unexpected_keyword(const MethodSignature& signature, PyObject* name) {
    PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%S'",
                 full_name(signature).c_str(), name);
    return false;
}

[[gnu::cold]] bool raise_multiple_values(const MethodSignature& signature, const Param& param) {
    PyErr_Format(PyExc_TypeError, "%s got multiple values for argument '%s'",
                 full_name(signature).c_str(), param.name);
    return false;
}

/// "'a'", "'a' and 'b'", "'a', 'b' and 'c'".
std::string quoted_list(const std::vector<const char*>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) {
            text += i + 1 == names.size() ? " and " : ", ";
        }
        text += '\'';
        text += names[i];
        text += '\'';
    }
    return text;
}

[[gnu::cold]] bool raise_missing(const MethodSignature& signature, PyObject* const* slots) {
    std::vector<const char*> missing;
    for (std::size_t i = 0; i < signature.params.size(); ++i) {
        if (slots[i] == nullptr && !signature.params[i].optional) {
            missing.push_back(signature.params[i].name);
        }
    }
    PyErr_Format(PyExc_TypeError, "%s missing %zu required positional %s: %s",
                 full_name(signature).c_str(), missing.size(),
                 missing.size() == 1 ? "argument" : "arguments", quoted_list(missing).c_str());
    return false;
}

/// The interned str of a parameter name, made on first use (null if that failed).
PyObject* interned_name(Param& param) {
    if (param.interned == nullptr) {
        param.interned = PyUnicode_InternFromString(param.name);
        if (param.interned == nullptr) {
            PyErr_Clear();
        }
    }
    return param.interned;
}

/// Index of the parameter named `name`, or -1. Call sites pass interned names, so a pointer
/// match settles nearly every lookup; the text comparison catches the rest.
Py_ssize_t find_param(const MethodSignature& signature, PyObject* name) {
    for (std::size_t i = 0; i < signature.params.size(); ++i) {
        if (interned_name(signature.params[i]) == name) {
            return static_cast<Py_ssize_t>(i);
        }
    }
    if (!PyUnicode_Check(name)) {
        return -1;
    }
    for (std::size_t i = 0; i < signature.params.size(); ++i) {
        if (PyUnicode_CompareWithASCIIString(name, signature.params[i].name) == 0) {
            return static_cast<Py_ssize_t>(i);
        }
    }
    return -1;
}

/// How many of the keyword names (a tuple of them, a dict keyed by them, or null) name
/// keyword-only parameters.
std::size_t keyword_only_given(const MethodSignature& signature, PyObject* keyword_names) {
    std::size_t count = 0;
    Ref names(keyword_names != nullptr ? PyObject_GetIter(keyword_names) : nullptr);
    while (names) {
        Ref name(PyIter_Next(names.get()));
        if (!name) {
            break;
        }
        const Py_ssize_t index = find_param(signature, name.get());
        count +=
            index >= 0 && signature.params[static_cast<std::size_t>(index)].keyword_only ? 1 : 0;
    }
    PyErr_Clear();  // only a count for the message: a failed walk leaves it short
    return count;
}

/// "{name} takes {count} positional argument(s) but {given}[ positional argument(s) (and
/// {k} keyword-only argument(s))] {was/were} given", as the interpreter words it.
[[gnu::cold]] bool raise_too_many_positional(const MethodSignature& signature, Py_ssize_t given,
                                             PyObject* keyword_names) {
    const std::size_t count = positional_count(signature);
    const std::size_t required = required_positional_count(signature);
    const bool plural =
        required != count || count != 1 || signature.wording == PositionalWording::always_plural;
    const std::string takes =
        required == count ? std::to_string(count)
                          : "from " + std::to_string(required) + " to " + std::to_string(count);
    const std::size_t keyword_only = keyword_only_given(signature, keyword_names);
    std::string given_text = std::to_string(given);
    if (keyword_only > 0) {
        given_text += given != 1 ? " positional arguments" : " positional argument";
        given_text += " (and " + std::to_string(keyword_only) + " keyword-only argument" +
                      (keyword_only != 1 ? "s)" : ")");
    }
    PyErr_Format(PyExc_TypeError, "%s takes %s positional argument%s but %s %s given",
                 full_name(signature).c_str(), takes.c_str(), plural ? "s" : "", given_text.c_str(),
                 given == 1 && keyword_only == 0 ? "was" : "were");
    return false;
}

/// str() of an exception, or a placeholder when str() itself fails with an ordinary error
/// (the wrapped error still names the argument); a PanicException from str() goes on as a panic.
Ref exception_text(PyObject* exception) {
    Ref text(PyObject_Str(exception));
    if (!text) {
        resume_panic_from_python();
        PyErr_Clear();
        text = Ref(PyUnicode_FromString("<exception str() failed>"));
        if (!text) {
            fail_python_api_call();
        }
    }
    return text;
}

/// Put one keyword argument into its slot.
bool bind_keyword(const MethodSignature& signature, PyObject* name, PyObject* value,
                  PyObject** slots) {
    Py_ssize_t index = find_param(signature, name);
    if (index < 0) {
        return raise_unexpected_keyword(signature, name);
    }
    if (slots[index] != nullptr) {
        return raise_multiple_values(signature, signature.params[static_cast<std::size_t>(index)]);
    }
    slots[index] = value;
    return true;
}

bool bind_positional(const MethodSignature& signature, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* keyword_names, PyObject** slots) {
    if (static_cast<std::size_t>(nargs) > positional_count(signature)) {
        return raise_too_many_positional(signature, nargs, keyword_names);
    }
    for (Py_ssize_t i = 0; i < nargs; ++i) {
        slots[i] = args[i];
    }
    return true;
}

bool check_required(const MethodSignature& signature, PyObject* const* slots) {
    for (std::size_t i = 0; i < signature.params.size(); ++i) {
        if (slots[i] == nullptr && !signature.params[i].optional) {
            return raise_missing(signature, slots);
        }
    }
    return true;
}

}  // namespace

bool bind_vector_general(const MethodSignature& signature, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames, PyObject** slots) {
    if (!bind_positional(signature, args, nargs, kwnames, slots)) {
        return false;
    }
    if (kwnames != nullptr) {
        Py_ssize_t count = PyTuple_GET_SIZE(kwnames);
        for (Py_ssize_t i = 0; i < count; ++i) {
            if (!bind_keyword(signature, PyTuple_GET_ITEM(kwnames, i), args[nargs + i], slots)) {
                return false;
            }
        }
    }
    return check_required(signature, slots);
}

bool bind_tuple(const MethodSignature& signature, PyObject* args, PyObject* kwargs,
                PyObject** slots) {
    PyObject* const* items = reinterpret_cast<PyTupleObject*>(args)->ob_item;
    if (!bind_positional(signature, items, PyTuple_GET_SIZE(args), kwargs, slots)) {
        return false;
    }
    if (kwargs != nullptr) {
        Py_ssize_t position = 0;
        PyObject *name, *value;
        while (PyDict_Next(kwargs, &position, &name, &value)) {
            if (!bind_keyword(signature, name, value, slots)) {
                return false;
            }
        }
    }
    return check_required(signature, slots);
}

void wrap_argument_error(const char* name) {
    if (!PyErr_Occurred()) {
        // An interpreter call (a numpy truth slot, say) signalled failure without an error.
        PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
        return;
    }
    resume_panic_from_python();
    if (PyErr_Occurred() != PyExc_TypeError) {
        return;  // any other type passes unchanged, without the argument's name
    }
    PyObject *type, *value, *traceback;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    Ref old_type(type), old_value(value), old_traceback(traceback);
    Ref message(
        PyUnicode_FromFormat("argument '%s': %U", name, exception_text(old_value.get()).get()));
    Ref wrapped(message ? PyObject_CallOneArg(PyExc_TypeError, message.get()) : nullptr);
    if (!wrapped) {
        fail_python_api_call();
    }
    PyException_SetCause(wrapped.get(), PyException_GetCause(old_value.get()));
    PyErr_Restore(Py_NewRef(PyExc_TypeError), wrapped.release(), nullptr);
}

void raise_wrong_receiver(PyObject* self, const char* class_name) {
    raise_cannot_convert(self, class_name);
}

}  // namespace torso::py
