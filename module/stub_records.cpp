// The stub records of both classes, derived from their declared methods and added to the
// registries at load time. No Python here: the stub tool links the same records.
#include <array>
#include <cstddef>
#include <expected>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "core/float_text.h"
#include "module/arm_methods.h"
#include "module/neck_methods.h"
#include "module/row_facts.h"
#include "stubs/records.h"
#include "stubs/registry.h"

namespace torso::py {
namespace {

using stubs::PyArgEntry;
using stubs::PyMethodEntry;
using stubs::SignatureForm;

/// Native type of each class, as seen from the stub: a tag naming the Python class.
template <const auto& rows>
struct ClassTag {
    static constexpr std::string_view python_name = rows.python_name;
    static constexpr std::string_view module_name = kModuleName;
};

template <class T>
struct Unwrapped {
    using type = T;
};
template <class T, class E>
struct Unwrapped<std::expected<T, E>> {
    using type = T;
};

/// What a routine's result `R` is in the stub: a new instance of the class for the value its
/// constructor returns (`NewValue`), a str for written text, and otherwise itself.
template <class R, class NewValue, class Tag>
constexpr auto stub_result() {
    using T = typename Unwrapped<R>::type;
    if constexpr (std::is_same_v<T, NewValue>) {
        return std::type_identity<stubs::ModuleClass<Tag>>{};
    } else if constexpr (requires(const T& text) { text.view(); }) {
        return std::type_identity<std::string_view>{};
    } else {
        return std::type_identity<T>{};
    }
}

template <class Row, class NewValue, class Tag>
constexpr stubs::TypeFunction result_of() {
    if constexpr (kIsRows<Row>) {
        return &stubs::result_type<stubs::NDArray<KernelOutput<decltype(Row::kernel)>>>;
    } else {
        using Result = ResultType<decltype(Row::routine)>;
        return &stubs::result_type<typename decltype(stub_result<Result, NewValue, Tag>())::type>;
    }
}

/// The arguments of a row. A method with a default spells out its signature: its other
/// parameters are `plain`; in a method without defaults every parameter is `absent`.
template <std::size_t N>
constexpr std::array<PyArgEntry, N> argument_entries(const std::array<ParamFacts, N>& facts) {
    bool spelled_out = false;
    for (const ParamFacts& param : facts) {
        spelled_out = spelled_out || param.optional;
    }
    std::array<PyArgEntry, N> entries{};
    for (std::size_t i = 0; i < N; ++i) {
        const SignatureForm form = facts[i].optional ? SignatureForm::with_default
                                   : spelled_out     ? SignatureForm::plain
                                                     : SignatureForm::absent;
        entries[i] = {facts[i].name, form, facts[i].default_text, facts[i].type,
                      facts[i].keyword_only};
    }
    return entries;
}

/// The record of row `index`, its arguments and its doc body kept for the life of the process.
template <const auto& rows, std::size_t index, class NewValue, class Tag>
PyMethodEntry method_entry() {
    constexpr const auto& row = row_of<rows, index>();
    using Row = std::remove_cvref_t<decltype(row)>;
    static constexpr auto arguments = argument_entries(param_facts(row));
    static const std::string doc = doc_body(row);
    return {row.name, arguments, result_of<Row, NewValue, Tag>(), doc, Row::kKind};
}

/// The records of a class's constructor and methods, in table order.
template <const auto& rows, std::size_t... I>
auto method_entries(std::index_sequence<I...>) {
    using Tag = ClassTag<rows>;
    using NewValue = ResultType<decltype(rows.constructor.routine)>;
    return std::array<PyMethodEntry, 1 + sizeof...(I)>{
        method_entry<rows, kConstructorRow, NewValue, Tag>(),
        method_entry<rows, I, NewValue, Tag>()...};
}

template <const auto& rows>
constexpr stubs::PyClassInfo class_info() noexcept {
    return {&stubs::type_identity<ClassTag<rows>>, rows.python_name, "", {}, {}, kModuleName};
}

// The doc bodies are made while the shared object loads; running out of memory there ends the
// process, as any other failed load would.
// NOLINTNEXTLINE(bugprone-throwing-static-initialization)
const auto kArmEntries = method_entries<kArm>(std::make_index_sequence<kArm.kMethodCount>{});
// NOLINTNEXTLINE(bugprone-throwing-static-initialization)
const auto kNeckEntries = method_entries<kNeck>(std::make_index_sequence<kNeck.kMethodCount>{});

constexpr stubs::PyClassInfo kArmClass = class_info<kArm>();
const stubs::PyMethodsInfo kArmMethodsInfo{&stubs::type_identity<ClassTag<kArm>>, {}, kArmEntries};
constexpr stubs::PyClassInfo kNeckClass = class_info<kNeck>();
const stubs::PyMethodsInfo kNeckMethodsInfo{
    &stubs::type_identity<ClassTag<kNeck>>, {}, kNeckEntries};

stubs::RegistryEntry<stubs::PyClassInfo> g_arm_class_entry{kArmClass};
stubs::RegistryEntry<stubs::PyMethodsInfo> g_arm_methods_entry{kArmMethodsInfo};
stubs::RegistryEntry<stubs::PyClassInfo> g_neck_class_entry{kNeckClass};
stubs::RegistryEntry<stubs::PyMethodsInfo> g_neck_methods_entry{kNeckMethodsInfo};

/// Adds one entry when the shared object (or the stub tool) is loaded.
struct LoadTimeRegistration {
    template <class Record>
    LoadTimeRegistration(stubs::Registry<Record>& registry,
                         stubs::RegistryEntry<Record>& entry) noexcept {
        registry.add(entry);
    }
};

// Dynamic initialisers of one translation unit run in the order of definition, so the records
// above are complete before they are added, the arm's class record is added first and the
// neck's methods record last; a walk meets them in the reverse order. The registries are
// constant-initialised and exist already.
const LoadTimeRegistration kAddArmClass{stubs::class_registry(), g_arm_class_entry};
const LoadTimeRegistration kAddArmMethods{stubs::methods_registry(), g_arm_methods_entry};
const LoadTimeRegistration kAddNeckClass{stubs::class_registry(), g_neck_class_entry};
const LoadTimeRegistration kAddNeckMethods{stubs::methods_registry(), g_neck_methods_entry};

}  // namespace
}  // namespace torso::py
