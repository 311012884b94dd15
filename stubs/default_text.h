// Texts that default values show in the stub, each produced once on first use.
#pragma once

#include <string>
#include <string_view>

namespace torso::stubs {

/// The text of one default value. Static data: `produce` makes the text the first time
/// anyone asks (concurrent first callers wait for it) and keeps it for good.
struct DefaultText {
    std::string_view (*produce)();

    /// The text, e.g. "0.7", "False", "None".
    std::string_view text() const { return produce(); }
};

/// `repr(value)` as Python writes a float: the shortest digits that read back as `value`,
/// positional for decimal exponents -4 to 15 (with ".0" when integral), else "1e+16" style.
std::string python_repr(double value);

/// `repr(value)` of a Python bool: "True" or "False".
std::string python_repr(bool value);

/// `repr(value)` of a Python int: its decimal digits.
std::string python_repr(int value);

/// Producer of the repr of a compile-time value; a function-local static, so the text
/// is made once, under the language's thread-safe initialisation.
template <auto Value>
std::string_view repr_of() {
    static const std::string text = python_repr(Value);
    return text;
}

/// Producer of "None", the default of an optional argument.
inline std::string_view none_text() { return "None"; }

}  // namespace torso::stubs
