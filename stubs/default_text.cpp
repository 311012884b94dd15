// Python's repr of the floats and bools that defaults show.
#include "stubs/default_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <system_error>

namespace torso::stubs {

namespace {

/// Python switches to exponent notation outside 1e-4 <= |x| < 1e16 (float_repr_style "short").
constexpr int kLowestPositionalExponent = -4;
constexpr int kFirstExponentialExponent = 16;

/// `value`'s shortest round-trip digits and decimal exponent: value = d.ddd × 10^exponent.
struct ShortestDigits {
    std::string digits;  // no point, no leading zero
    int exponent;
};

ShortestDigits shortest_digits(double magnitude) {
    char buffer[64];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific);
    // 64 characters hold any double in scientific form; a failure here is a broken library.
    if (error != std::errc{}) std::abort();
    const std::string_view text(buffer, static_cast<std::size_t>(end - buffer));
    const std::size_t e = text.find('e');
    ShortestDigits out{std::string(text.substr(0, e)), 0};
    std::erase(out.digits, '.');
    std::from_chars(text.data() + e + 1 + (text[e + 1] == '+' ? 1 : 0), text.data() + text.size(),
                    out.exponent);
    return out;
}

std::string positional(const ShortestDigits& shortest) {
    const int point = shortest.exponent + 1;  // digits before the decimal point
    const int count = static_cast<int>(shortest.digits.size());
    if (point <= 0) {
        return "0." + std::string(static_cast<std::size_t>(-point), '0') + shortest.digits;
    }
    if (point >= count) {
        return shortest.digits + std::string(static_cast<std::size_t>(point - count), '0') + ".0";
    }
    const auto split = static_cast<std::size_t>(point);
    return shortest.digits.substr(0, split) + "." + shortest.digits.substr(split);
}

std::string exponential(const ShortestDigits& shortest) {
    std::string out = shortest.digits.substr(0, 1);
    if (shortest.digits.size() > 1) {
        out.push_back('.');
        out.append(shortest.digits, 1);
    }
    // Python writes a sign and at least two exponent digits: "1e-05", "1e+16".
    char exponent[16];
    std::snprintf(exponent, sizeof exponent, "e%c%02d", shortest.exponent < 0 ? '-' : '+',
                  std::abs(shortest.exponent));
    out.append(exponent);
    return out;
}

}  // namespace

std::string python_repr(double value) {
    if (std::isnan(value)) return "nan";
    const std::string sign = std::signbit(value) ? "-" : "";
    if (std::isinf(value)) return sign + "inf";
    if (value == 0.0) return sign + "0.0";
    const ShortestDigits shortest = shortest_digits(std::fabs(value));
    const bool use_exponent = shortest.exponent < kLowestPositionalExponent ||
                              shortest.exponent >= kFirstExponentialExponent;
    return sign + (use_exponent ? exponential(shortest) : positional(shortest));
}

std::string python_repr(bool value) { return value ? "True" : "False"; }

std::string python_repr(int value) { return std::to_string(value); }

}  // namespace torso::stubs
