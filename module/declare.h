// The vocabulary of the method declarations: one row per Python method, from which the binding,
// its doc string, the method-table entry and the stub record are all derived. No Python here.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "module/rows.h"
#include "stubs/records.h"

namespace torso::py {

/// How "takes N positional arguments" reads for N = 1. The first methods always said
/// "arguments"; callers may match their messages, so those keep it.
enum class PositionalWording : unsigned char { python, always_plural };

/// A routine's parameter that the caller may omit: it then holds `fallback`. The default is
/// part of the type, so the binder, the text signature and the stub all read it from here.
template <auto fallback>
struct Default {
    using Value = decltype(fallback);
    static constexpr Value kFallback = fallback;
    Value value = fallback;
};

/// A parameter of a method, by name; its value type (and default) is the routine's.
struct ParamName {
    const char* name = nullptr;
};

template <class... Names>
constexpr std::array<ParamName, sizeof...(Names)> params(Names... names) {
    return {ParamName{names}...};
}

/// A method computed by `routine` on plain values. For an instance method the routine's first
/// parameter is the receiver's plain value; a static method's routine takes only the
/// arguments; a constructor's routine returns the new instance's plain value.
template <stubs::MethodKind kind, class Routine, std::size_t N>
struct MethodRow {
    static constexpr stubs::MethodKind kKind = kind;

    const char* name = nullptr;
    std::array<ParamName, N> parameters{};
    std::string_view doc;  // the body: the doc string without its text-signature header
    Routine routine;
    PositionalWording wording = PositionalWording::python;

    /// This row, with the plural "positional arguments" kept for one parameter.
    constexpr MethodRow always_plural() const {
        MethodRow row = *this;
        row.wording = PositionalWording::always_plural;
        return row;
    }
};

template <std::size_t N, class Routine>
constexpr auto method(const char* name, std::array<ParamName, N> parameters, std::string_view doc,
                      Routine routine) {
    return MethodRow<stubs::MethodKind::instance, Routine, N>{name, parameters, doc, routine};
}

template <std::size_t N, class Routine>
constexpr auto static_method(const char* name, std::array<ParamName, N> parameters,
                             std::string_view doc, Routine routine) {
    return MethodRow<stubs::MethodKind::static_method, Routine, N>{name, parameters, doc, routine};
}

template <std::size_t N, class Routine>
constexpr auto constructor(std::array<ParamName, N> parameters, std::string_view doc,
                           Routine routine) {
    return MethodRow<stubs::MethodKind::constructor, Routine, N>{"__new__", parameters, doc,
                                                                 routine};
}

/// Whether an array method's rows are shared among `workers` threads, or run in order on the
/// calling thread so that its kernel may carry state from one row to the next.
enum class Workers : unsigned char { shared, in_order };

/// An array method: its array parameters, the shape of a result row, the core routine's cost
/// per row (its core benchmark, in nanoseconds, which sizes the chunks of work), and the
/// kernel `(receiver, const double* row..., double* or bool* out)` that runs one row. The
/// kernel calls the scalar method's routine and writes its result, or NaN (false) where it
/// fails. A method with shared rows takes the keyword-only `workers` after its arrays; every
/// one takes the keyword-only `out` last.
template <Workers workers, class Kernel, std::size_t N>
struct RowsRow {
    static constexpr stubs::MethodKind kKind = stubs::MethodKind::instance;
    static constexpr Workers kWorkers = workers;

    const char* name = nullptr;
    std::array<ArrayParam, N> inputs{};
    RowShape out{};
    double row_nanoseconds = 0;
    std::string_view doc;  // the body; the sentences on `workers` and `out` are added to it
    Kernel kernel;
};

template <class... Inputs>
constexpr std::array<ArrayParam, sizeof...(Inputs)> arrays(Inputs... inputs) {
    return {inputs...};
}

/// An array method whose rows `workers` threads share.
template <std::size_t N, class Kernel>
constexpr auto rows(const char* name, std::array<ArrayParam, N> inputs, RowShape out,
                    double row_nanoseconds, std::string_view doc, Kernel kernel) {
    return RowsRow<Workers::shared, Kernel, N>{name, inputs, out, row_nanoseconds, doc, kernel};
}

/// An array method whose rows run in order, one after the other.
template <std::size_t N, class Kernel>
constexpr auto rows_in_order(const char* name, std::array<ArrayParam, N> inputs, RowShape out,
                             double row_nanoseconds, std::string_view doc, Kernel kernel) {
    return RowsRow<Workers::in_order, Kernel, N>{name, inputs, out, row_nanoseconds, doc, kernel};
}

/// The name of the keyword-only parameter that sets the threads of an array method.
inline constexpr const char* kWorkersName = "workers";
/// The name of the keyword-only parameter, last of every array method, that takes the array
/// to write the result into.
inline constexpr const char* kOutName = "out";

/// One Python class: its name, the plain value its instances hold (`Value`), its constructor
/// and its methods in table order.
template <class Value, class Constructor, class... Methods>
struct ClassRows {
    using Receiver = Value;

    std::string_view python_name;
    Constructor constructor;
    std::tuple<Methods...> methods;

    static constexpr std::size_t kMethodCount = sizeof...(Methods);
};

template <class Value, class Constructor, class... Methods>
constexpr ClassRows<Value, Constructor, Methods...>
class_rows(std::string_view python_name, Constructor constructor, Methods... methods) {
    return {python_name, constructor, std::tuple<Methods...>{methods...}};
}

// ---- what the derivations ask of a row ----

/// The index that `row_of` gives the constructor's row.
inline constexpr std::size_t kConstructorRow = static_cast<std::size_t>(-1);

/// Row `index` of a class's rows: a method in table order, or the constructor. (Derivations
/// name a row by its class and index: g++ 12 mangles a reference to a tuple element given as
/// a template argument ambiguously.)
template <const auto& rows, std::size_t index>
constexpr const auto& row_of() {
    if constexpr (index == kConstructorRow) {
        return rows.constructor;
    } else {
        return std::get<index>(rows.methods);
    }
}

/// The module's import name.
inline constexpr std::string_view kModuleName = "tarvelo_torso_kinematics";

template <class Row>
inline constexpr bool kIsRows = false;
template <Workers workers, class Kernel, std::size_t N>
inline constexpr bool kIsRows<RowsRow<workers, Kernel, N>> = true;

template <class T>
inline constexpr bool kIsDefault = false;
template <auto fallback>
inline constexpr bool kIsDefault<Default<fallback>> = true;

/// Whether a routine's parameter of type T may be omitted by the caller.
template <class T>
inline constexpr bool kIsOmittable = kIsDefault<T>;
template <class T>
inline constexpr bool kIsOmittable<std::optional<T>> = true;

namespace detail {

template <class F>
struct CallableTraits : CallableTraits<decltype(&F::operator())> {};
template <class C, class R, class... A>
struct CallableTraits<R (C::*)(A...) const> {
    using Args = std::tuple<std::decay_t<A>...>;
    using Result = R;
};
/// A mutable lambda: one that carries state from call to call.
template <class C, class R, class... A>
struct CallableTraits<R (C::*)(A...)> : CallableTraits<R (C::*)(A...) const> {};

/// The argument types of a routine taking `Args`, minus the first `skip` (the receiver).
template <std::size_t skip, class Args,
          class = std::make_index_sequence<std::tuple_size_v<Args> - skip>>
struct ValuesOf;
template <std::size_t skip, class Args, std::size_t... I>
struct ValuesOf<skip, Args, std::index_sequence<I...>> {
    using type = std::tuple<std::tuple_element_t<I + skip, Args>...>;
};

}  // namespace detail

/// The element an array kernel `(receiver, const double* row..., Out* out)` writes: double,
/// or bool for a reachability mask.
template <class Kernel>
using KernelOutput = std::remove_pointer_t<
    std::tuple_element_t<std::tuple_size_v<typename detail::CallableTraits<Kernel>::Args> - 1,
                         typename detail::CallableTraits<Kernel>::Args>>;

/// The types of the values a routine takes from the caller, in order: its parameters, less
/// the receiver's plain value when it has one.
template <class Routine, bool has_receiver>
using ArgumentTypes =
    typename detail::ValuesOf<has_receiver ? 1 : 0,
                              typename detail::CallableTraits<Routine>::Args>::type;

/// What a routine returns.
template <class Routine>
using ResultType = typename detail::CallableTraits<Routine>::Result;

}  // namespace torso::py
