// A class's method table, entry points and type, derived from its declared rows.
#pragma once

#include <Python.h>

#include <array>
#include <cstddef>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

#include "module/arrays.h"
#include "module/binder.h"
#include "module/declare.h"
#include "module/heap_type.h"
#include "module/row_facts.h"

namespace torso::py {
namespace detail {

/// The binder's parameters of a row.
template <std::size_t N>
constexpr std::array<Param, N> binder_params(const std::array<ParamFacts, N>& facts) noexcept {
    std::array<Param, N> params{};
    for (std::size_t i = 0; i < N; ++i) {
        params[i] = {facts[i].name, facts[i].optional, facts[i].keyword_only};
    }
    return params;
}

template <class Row>
constexpr PositionalWording wording_of(const Row& row) noexcept {
    if constexpr (kIsRows<Row>) {
        return PositionalWording::python;
    } else {
        return row.wording;
    }
}

/// A constructor's routine as `construct` calls it: the new instance of `type` holding
/// the value the routine returns.
template <class Self, class Routine, class Values = ArgumentTypes<Routine, false>>
struct NewInstance;
template <class Self, class Routine, class... Values>
struct NewInstance<Self, Routine, std::tuple<Values...>> {
    Routine routine;
    PyObject* operator()(PyTypeObject* type, Values... values) const {
        return Self::create(type, routine(values...));
    }
};

/// The binding of row `index` of the class declared by `rows`, whose instances are `Self`: its
/// parameters, its entry points, its method-table row.
template <class Self, const auto& rows, std::size_t index>
struct Binding {
    static constexpr const auto& row = row_of<rows, index>();
    static constexpr const char* class_name = rows.python_name.data();
    using Row = std::remove_cvref_t<decltype(row)>;
    static constexpr auto kFacts = param_facts(row);
    static constexpr std::size_t kParams = std::tuple_size_v<decltype(kFacts)>;

    static inline constinit std::array<Param, kParams> params = binder_params(kFacts);
    static constexpr MethodSignature signature{class_name, row.name, params, wording_of(row)};

    static PyObject* vectorcall(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                PyObject* kwnames) {
        if constexpr (kIsRows<Row>) {
            static constexpr ArraySignature array_signature{signature, row.inputs, row.out,
                                                            chunk_rows_for(row.row_nanoseconds)};
            return run_rows<Self>(array_signature, self, args, nargs, kwnames, row.kernel);
        } else if constexpr (Row::kKind == stubs::MethodKind::static_method) {
            return call_static(signature, args, nargs, kwnames, row.routine);
        } else {
            return call_method<Self>(signature, self, args, nargs, kwnames, row.routine);
        }
    }

    static PyObject* noargs(PyObject* self, PyObject*) {
        if constexpr (Row::kKind == stubs::MethodKind::static_method) {
            return call_static_noargs(row.routine);
        } else {
            return call_noargs<Self>(class_name, self, row.routine);
        }
    }

    static PyObject* construct_instance(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
        return construct(signature, type, args, kwargs,
                         NewInstance<Self, decltype(row.routine)>{row.routine});
    }

    /// The method-table row; `doc` lives as long as the table.
    static PyMethodDef table_row(const char* doc) {
        constexpr int kind_flag = Row::kKind == stubs::MethodKind::static_method ? METH_STATIC : 0;
        if constexpr (kParams == 0) {
            return {row.name, noargs, METH_NOARGS | kind_flag, doc};
        } else {
            return {row.name, as_cfunction<vectorcall>(), METH_FASTCALL | METH_KEYWORDS | kind_flag,
                    doc};
        }
    }
};

/// The run-time doc string of each method, made once and kept.
template <const auto& rows, std::size_t... I>
const std::array<std::string, sizeof...(I)>& method_docs(std::index_sequence<I...>) {
    static const std::array<std::string, sizeof...(I)> docs{
        runtime_doc(row_text_signature(std::get<I>(rows.methods), std::get<I>(rows.methods).name),
                    doc_body(std::get<I>(rows.methods)))...};
    return docs;
}

/// The method table of the class, made once and kept.
template <class Self, const auto& rows, std::size_t... I>
PyMethodDef* method_table(std::index_sequence<I...> indices) {
    const auto& docs = method_docs<rows>(indices);
    static std::array<PyMethodDef, sizeof...(I) + 1> table{
        Binding<Self, rows, I>::table_row(docs[I].c_str())...,
        PyMethodDef{nullptr, nullptr, 0, nullptr}};
    return table.data();
}

}  // namespace detail

/// The type of the class declared by `rows`, whose instances are `Self`, created on first use
/// and kept in `cell`; null with the error set if creation failed.
template <class Self, const auto& rows>
PyTypeObject* class_type(PyTypeObject*& cell) {
    using Constructor = detail::Binding<Self, rows, kConstructorRow>;
    static const std::string name = std::string(kModuleName) + "." + std::string(rows.python_name);
    // The class's doc text: the constructor's signature and an empty body.
    static std::string doc =
        runtime_doc(row_text_signature(rows.constructor, rows.python_name), "");
    static PyType_Slot slots[] = {
        {Py_tp_base, &PyBaseObject_Type},
        {Py_tp_new, reinterpret_cast<void*>(Constructor::construct_instance)},
        {Py_tp_dealloc, reinterpret_cast<void*>(deallocate_instance)},
        {Py_tp_doc, doc.data()},
        {Py_tp_methods,
         detail::method_table<Self, rows>(std::make_index_sequence<rows.kMethodCount>{})},
        {0, nullptr},
    };
    static PyType_Spec spec = {name.c_str(), static_cast<int>(sizeof(Self)), 0, Py_TPFLAGS_DEFAULT,
                               slots};
    return type_once(cell, spec);
}

}  // namespace torso::py
