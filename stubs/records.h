// The static records that describe a Python class and its methods for the stub writer.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <typeinfo>

#include "stubs/default_text.h"
#include "stubs/type_info.h"

namespace torso::stubs {

/// Identifies a class's native type; a class record and a methods record with equal
/// identities describe the same class.
using TypeIdentity = const std::type_info& (*)();

template <class Native>
const std::type_info& type_identity() {
    return typeid(Native);
}

/// How an argument appears in the method's declared signature.
enum class SignatureForm : std::uint8_t {
    absent,        // the method declares no explicit signature
    plain,         // named in an explicit signature, without default
    with_default,  // named with a default value
};

/// What a method entry is to Python. The codes are part of the record format; 2 is unused.
enum class MethodKind : std::uint8_t { instance = 0, static_method = 1, constructor = 3 };

/// One argument, in call order; the receiver is never listed.
struct PyArgEntry {
    std::string_view name;
    SignatureForm form;
    const DefaultText* default_text;  // set exactly when form is with_default
    TypeFunction type;                // by the argument rule
    bool keyword_only = false;        // after `*`: only by keyword; such arguments come last
};

/// One constructor or method as Python sees it.
struct PyMethodEntry {
    std::string_view name;  // "__new__" for the constructor
    std::span<const PyArgEntry> arguments;
    TypeFunction result;   // by the result rule
    std::string_view doc;  // the body only, without the text-signature header
    MethodKind kind;
};

/// A data member or attribute: name, type and doc.
struct PyMemberEntry {
    std::string_view name;
    TypeFunction type;
    std::string_view doc;
};

/// One Python class: its name, doc and where it lives.
struct PyClassInfo {
    TypeIdentity identity;
    std::string_view name;
    std::string_view doc;
    std::span<const PyMemberEntry> instance_members;  // written `name: T` in the class body
    std::span<const PyMemberEntry> class_members;     // written `name: typing.ClassVar[T]`
    std::optional<std::string_view> module;
};

/// The methods of one class, matched to its PyClassInfo by identity.
struct PyMethodsInfo {
    TypeIdentity identity;
    std::span<const PyMemberEntry> attributes;
    std::span<const PyMethodEntry> methods;
};

/// An argument of type T that the method's signature does not spell out.
template <class T>
constexpr PyArgEntry argument(std::string_view name) {
    return {name, SignatureForm::absent, nullptr, &argument_type<T>};
}

/// An argument of type T named in an explicit signature, without default.
template <class T>
constexpr PyArgEntry plain_argument(std::string_view name) {
    return {name, SignatureForm::plain, nullptr, &argument_type<T>};
}

/// An argument of type T that may be omitted; `default_text` is what the stub shows.
template <class T>
constexpr PyArgEntry defaulted_argument(std::string_view name, const DefaultText& default_text) {
    return {name, SignatureForm::with_default, &default_text, &argument_type<T>};
}

/// An argument of type T that may be omitted and can be passed only by keyword.
template <class T>
constexpr PyArgEntry keyword_only_argument(std::string_view name, const DefaultText& default_text) {
    return {name, SignatureForm::with_default, &default_text, &argument_type<T>, true};
}

/// A method entry returning `Result`.
template <class Result>
constexpr PyMethodEntry method(std::string_view name, MethodKind kind,
                               std::span<const PyArgEntry> arguments, std::string_view doc) {
    return {name, arguments, &result_type<Result>, doc, kind};
}

}  // namespace torso::stubs
