// What the binder, the doc strings and the stub records read off one declared row: its
// parameters with their defaults and types, its result type and its doc body. No Python here.
#pragma once

#include <array>
#include <cstddef>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>

#include "core/float_text.h"
#include "module/declare.h"
#include "module/doc_text.h"
#include "stubs/default_text.h"
#include "stubs/records.h"
#include "stubs/type_info.h"

namespace torso::py {

/// The text a default shows: Python's repr of the value, made once on first use.
template <auto value>
inline constexpr stubs::DefaultText kDefaultTextOf{&stubs::repr_of<value>};
/// The default of an optional parameter.
inline constexpr stubs::DefaultText kNoneDefault{&stubs::none_text};

namespace detail {

template <class T>
struct StubArgument {
    using type = T;
};
template <auto fallback>
struct StubArgument<Default<fallback>> {
    using type = typename Default<fallback>::Value;
};

/// The default text of a routine's parameter of type T; null when the caller must pass it.
template <class T>
constexpr const stubs::DefaultText* default_text_of() {
    if constexpr (kIsDefault<T>) {
        return &kDefaultTextOf<T::kFallback>;
    } else if constexpr (kIsOmittable<T>) {
        return &kNoneDefault;
    } else {
        return nullptr;
    }
}

}  // namespace detail

/// One parameter as the binder, the text signature and the stub see it.
struct ParamFacts {
    const char* name;
    // Whether the caller may omit it. Told apart from the default text's pointer, which g++
    // cannot compare with null at compile time once the sanitizers instrument the build.
    bool optional;
    const stubs::DefaultText* default_text;  // set exactly when optional
    bool keyword_only;
    stubs::TypeFunction type;  // its annotation in the stub
};

/// Whether the row's routine or kernel takes the receiver's plain value first.
template <class Row>
inline constexpr bool kHasReceiver = Row::kKind == stubs::MethodKind::instance;

namespace detail {

template <class Routine, bool receiver, std::size_t N, std::size_t... I>
constexpr auto method_params(const std::array<ParamName, N>& names, std::index_sequence<I...>) {
    using Types = ArgumentTypes<Routine, receiver>;
    static_assert(std::tuple_size_v<Types> == N, "one name per parameter of the routine");
    return std::array<ParamFacts, N>{ParamFacts{
        names[I].name, kIsOmittable<std::tuple_element_t<I, Types>>,
        default_text_of<std::tuple_element_t<I, Types>>(), false,
        &stubs::argument_type<typename StubArgument<std::tuple_element_t<I, Types>>::type>}...};
}

}  // namespace detail

/// The parameters of a method row, in order.
template <stubs::MethodKind kind, class Routine, std::size_t N>
constexpr std::array<ParamFacts, N> param_facts(const MethodRow<kind, Routine, N>& row) {
    return detail::method_params<Routine, kind == stubs::MethodKind::instance>(
        row.parameters, std::make_index_sequence<N>{});
}

/// The parameters of an array row: its arrays, then `workers` when the rows are shared, then
/// `out`, an array of the kernel's element.
template <Workers workers, class Kernel, std::size_t N>
constexpr auto param_facts(const RowsRow<workers, Kernel, N>& row) {
    constexpr std::size_t count = N + (workers == Workers::shared ? 1 : 0) + 1;
    std::array<ParamFacts, count> facts{};
    for (std::size_t i = 0; i < N; ++i) {
        const ArrayParam& input = row.inputs[i];
        facts[i] = {input.name, input.optional, input.optional ? &kNoneDefault : nullptr, false,
                    input.optional ? &stubs::argument_type<std::optional<stubs::ArrayLike>>
                                   : &stubs::argument_type<stubs::ArrayLike>};
    }
    if constexpr (workers == Workers::shared) {
        facts[N] = {kWorkersName, true, &kDefaultTextOf<kDefaultWorkers>, true,
                    &stubs::argument_type<int>};
    }
    facts[count - 1] = {kOutName, true, &kNoneDefault, true,
                        &stubs::argument_type<std::optional<stubs::NDArray<KernelOutput<Kernel>>>>};
    return facts;
}

/// The row's doc body: its own text, and for array rows the sentences on `workers` (when the
/// rows are shared) and on `out`.
template <class Row>
std::string doc_body(const Row& row) {
    if constexpr (kIsRows<Row>) {
        return with_out_sentence(Row::kWorkers == Workers::shared ? with_workers_sentence(row.doc)
                                                                  : std::string(row.doc));
    }
    return std::string(row.doc);
}

/// The text signature of a row, "name($self, a, b=None)"; `name` replaces the row's
/// own (a class's constructor shows the class name).
template <class Row>
std::string row_text_signature(const Row& row, std::string_view name) {
    const auto facts = param_facts(row);
    std::array<SignatureParam, std::tuple_size_v<decltype(facts)>> shown{};
    for (std::size_t i = 0; i < facts.size(); ++i) {
        shown[i] = {facts[i].name, facts[i].default_text, facts[i].keyword_only};
    }
    return text_signature(name, kHasReceiver<Row>, shown);
}

}  // namespace torso::py
