// Python type expressions of the stub, built from the boundary value types by fixed rules.
#pragma once

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <type_traits>

#include "arm/geometry.h"
#include "arm/ik.h"
#include "core/joints.h"
#include "core/vec.h"

namespace torso::stubs {

/// A module that a type expression refers to, by its import name ("builtins", "typing").
using ModuleRef = std::string;

/// One type expression of the stub and the modules it needs imported.
struct TypeInfo {
    std::string expression;       // e.g. "typing.Sequence[builtins.float]"
    std::set<ModuleRef> modules;  // unordered in meaning; a set keeps each name once
};

/// Builds a fresh TypeInfo; records hold one per argument and per result.
using TypeFunction = TypeInfo (*)();

/// A string usable as a template argument, for the names baked into the rules.
template <std::size_t N>
struct Literal {
    char text[N] = {};
    // Implicit, so that a string literal can be written as the template argument.
    constexpr Literal(const char (&s)[N]) { std::copy_n(s, N, text); }
    constexpr std::string_view view() const { return {text, N - 1}; }
};

namespace rules {

/// `outer[inner]`, needing `outer_module` besides whatever `inner` needs.
inline TypeInfo subscript(std::string_view outer, std::string_view outer_module, TypeInfo inner) {
    inner.expression = std::string(outer) + "[" + inner.expression + "]";
    inner.modules.emplace(outer_module);
    return inner;
}

/// "tuple[a, b, ...]"; `tuple` is a builtin name, so only the elements' modules are needed.
inline TypeInfo tuple_of(std::initializer_list<TypeInfo> elements) {
    TypeInfo out{"tuple[", {}};
    std::string_view separator;
    for (const TypeInfo& element : elements) {
        out.expression += std::string(separator) + element.expression;
        out.modules.insert(element.modules.begin(), element.modules.end());
        separator = ", ";
    }
    out.expression += ']';
    return out;
}

/// "first | second", needing what either needs.
inline TypeInfo union_of(TypeInfo first, const TypeInfo& second) {
    first.expression += " | " + second.expression;
    first.modules.insert(second.modules.begin(), second.modules.end());
    return first;
}

/// A numpy array of real floats, of any precision.
inline TypeInfo float_array() {
    return {"numpy.typing.NDArray[numpy.floating[typing.Any]]",
            {"numpy", "numpy.typing", "typing"}};
}

/// A Python builtin scalar: the same expression as argument and as result.
template <Literal PythonName>
struct Scalar {
    static TypeInfo argument() {
        return {"builtins." + std::string(PythonName.view()), {"builtins"}};
    }
    static TypeInfo result() { return argument(); }
};

}  // namespace rules

/// The rule of one boundary value type: `argument()` for what a caller may pass,
/// `result()` for what a method returns. A type without a rule does not compile.
template <class T>
struct TypeRule;

/// A fixed-length array of T: any sequence going in, a list coming out. The length
/// is checked at run time and is not part of the expression.
template <class T>
struct FixedArrayRule {
    static TypeInfo argument() {
        return rules::subscript("typing.Sequence", "typing", TypeRule<T>::argument());
    }
    static TypeInfo result() {
        return rules::subscript("builtins.list", "builtins", TypeRule<T>::result());
    }
};

/// A vector or matrix argument, read item by item as a sequence, so that a numpy float array
/// passes as well as a sequence; the result is `Sequence`'s.
template <class Sequence>
struct SequenceOrArrayRule {
    static TypeInfo argument() {
        return rules::union_of(Sequence::argument(), rules::float_array());
    }
    static TypeInfo result() { return Sequence::result(); }
};

/// Rows of floats: a sequence of them going in, a list of lists coming out.
struct FloatRowsRule {
    static TypeInfo argument() {
        return rules::subscript("typing.Sequence", "typing", FixedArrayRule<double>::argument());
    }
    static TypeInfo result() {
        return rules::subscript("builtins.list", "builtins", FixedArrayRule<double>::result());
    }
};

/// A pair or triple: a tuple both ways.
template <class... Elements>
struct TupleRule {
    static TypeInfo argument() { return rules::tuple_of({TypeRule<Elements>::argument()...}); }
    static TypeInfo result() { return rules::tuple_of({TypeRule<Elements>::result()...}); }
};

template <>
struct TypeRule<double> : rules::Scalar<"float"> {};
template <>
struct TypeRule<int> : rules::Scalar<"int"> {};
template <>
struct TypeRule<bool> : rules::Scalar<"bool"> {};
template <>
struct TypeRule<std::string_view> : rules::Scalar<"str"> {};
template <>
struct TypeRule<Vec3> : SequenceOrArrayRule<FixedArrayRule<double>> {};
/// Three rows of three; crosses the boundary row by row.
template <>
struct TypeRule<Mat3> : SequenceOrArrayRule<FloatRowsRule> {};
template <>
struct TypeRule<JointPair> : TupleRule<double, double> {};
/// Taken like a Vec3, returned as a (yaw, pitch, roll) tuple.
template <>
struct TypeRule<JointTriple> {
    static TypeInfo argument() { return TypeRule<Vec3>::argument(); }
    static TypeInfo result() { return TupleRule<double, double, double>::result(); }
};

/// A joint pair and its distance, returned only, as one flat tuple.
template <>
struct TypeRule<arm::NearestPair> {
    static TypeInfo result() { return TupleRule<double, double, double>::result(); }
};

/// Three rows of two, returned only.
template <>
struct TypeRule<Mat3x2> {
    static TypeInfo result() { return TypeRule<Mat3>::result(); }
};
/// A list of joint pairs, returned only.
template <>
struct TypeRule<JointPairList> {
    static TypeInfo result() {
        return rules::subscript("builtins.list", "builtins", TypeRule<JointPair>::result());
    }
};

/// The branch crosses as its name; only results carry it.
template <>
struct TypeRule<arm::Branch> {
    static TypeInfo result() {
        return {"typing.Literal[\"" + std::string(arm::branch_name(arm::Branch::positive)) +
                    "\", \"" + std::string(arm::branch_name(arm::Branch::negative)) + "\"]",
                {"typing"}};
    }
};

/// An argument that may be None. No method returns an optional, so there is no result rule.
template <class T>
struct TypeRule<std::optional<T>> {
    static TypeInfo argument() {
        return rules::subscript("typing.Optional", "typing", TypeRule<T>::argument());
    }
};

/// Anything numpy.asarray accepts: an argument of the array methods.
struct ArrayLike {};

/// A numpy array of T (double or bool): a result of the array methods, and their `out`.
template <class T>
struct NDArray {};

template <>
struct TypeRule<ArrayLike> {
    static TypeInfo argument() { return {"numpy.typing.ArrayLike", {"numpy.typing"}}; }
};

/// numpy's scalar type of an array element: float64 for double, bool_ for bool.
template <class T>
TypeInfo numpy_scalar() {
    return {std::is_same_v<T, bool> ? "numpy.bool_" : "numpy.float64", {"numpy"}};
}

template <class T>
struct TypeRule<NDArray<T>> {
    static TypeInfo argument() {
        return rules::subscript("numpy.typing.NDArray", "numpy.typing", numpy_scalar<T>());
    }
    static TypeInfo result() { return argument(); }
};

/// A class of the module being described; `Class` names it and its module.
template <class Class>
struct ModuleClass {};

/// Referred to by bare name inside its own stub; the module set says where it lives.
template <class Class>
struct TypeRule<ModuleClass<Class>> {
    static TypeInfo result() {
        return {std::string(Class::python_name), {std::string(Class::module_name)}};
    }
};

template <class T>
TypeInfo argument_type() {
    return TypeRule<T>::argument();
}

template <class T>
TypeInfo result_type() {
    return TypeRule<T>::result();
}

}  // namespace torso::stubs
