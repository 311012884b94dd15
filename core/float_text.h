// Python's repr of a double, written into a fixed buffer without touching the heap.
#pragma once

#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <string_view>
#include <system_error>

namespace torso {

/// Text in a fixed buffer, appended piece by piece; the caller sizes `capacity` so that
/// its pieces always fit.
template <std::size_t capacity>
struct FixedText {
    std::array<char, capacity> chars{};
    std::size_t size = 0;

    std::string_view view() const { return {chars.data(), size}; }
    FixedText& operator<<(std::string_view piece) {
        for (const char c : piece) chars[size++] = c;
        return *this;
    }
    void append_zeros(int count) {
        for (int i = 0; i < count; ++i) chars[size++] = '0';
    }
};

/// The text of one double: any double fits in either notation.
using FloatText = FixedText<32>;

namespace float_text_detail {

/// Python switches to exponent notation outside 1e-4 <= |x| < 1e16 (float_repr_style "short").
inline constexpr int kLowestPositionalExponent = -4;
inline constexpr int kFirstExponentialExponent = 16;

/// The shortest digits that read back to `magnitude` (positive, finite), with the decimal
/// exponent of the first: magnitude = d.ddd × 10^exponent.
struct ShortestDigits {
    std::array<char, 24> digits{};  // no point, no leading zero; 17 at most
    std::size_t count = 0;
    int exponent = 0;

    std::string_view view() const { return {digits.data(), count}; }
};

inline ShortestDigits shortest_digits(double magnitude) {
    char buffer[32];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific);
    // 32 characters hold any double in scientific form; a failure here is a broken library.
    if (error != std::errc{}) std::abort();
    const std::string_view text(buffer, static_cast<std::size_t>(end - buffer));
    const std::size_t e = text.find('e');
    ShortestDigits out;
    for (const char c : text.substr(0, e)) {
        if (c != '.') out.digits[out.count++] = c;
    }
    const std::size_t exponent_start = e + 1 + (text[e + 1] == '+' ? 1 : 0);
    std::from_chars(text.data() + exponent_start, text.data() + text.size(), out.exponent);
    return out;
}

inline void append_positional(FloatText& out, const ShortestDigits& shortest) {
    const int point = shortest.exponent + 1;  // digits before the decimal point
    const int count = static_cast<int>(shortest.count);
    const std::string_view digits = shortest.view();
    if (point <= 0) {
        out << "0.";
        out.append_zeros(-point);
        out << digits;
    } else if (point >= count) {
        out << digits;
        out.append_zeros(point - count);
        out << ".0";
    } else {
        const auto split = static_cast<std::size_t>(point);
        out << digits.substr(0, split) << "." << digits.substr(split);
    }
}

inline void append_exponential(FloatText& out, const ShortestDigits& shortest) {
    const std::string_view digits = shortest.view();
    out << digits.substr(0, 1);
    if (digits.size() > 1) {
        out << "." << digits.substr(1);
    }
    // Python writes a sign and at least two exponent digits: "1e-05", "1e+16".
    out << (shortest.exponent < 0 ? "e-" : "e+");
    const int magnitude = std::abs(shortest.exponent);
    if (magnitude < 10) out << "0";
    char exponent[8];
    const auto [end, error] = std::to_chars(exponent, exponent + sizeof exponent, magnitude);
    out << std::string_view(exponent, static_cast<std::size_t>(end - exponent));
}

}  // namespace float_text_detail

/// `repr(value)` as Python writes it: the shortest digits that read back to the same double,
/// positional for 1e-4 <= |value| < 1e16 and in exponent form otherwise; "nan", "inf", "-inf".
inline FloatText python_float_repr(double value) {
    using namespace float_text_detail;
    FloatText out;
    if (std::isnan(value)) {
        out << "nan";
        return out;
    }
    if (std::signbit(value)) out << "-";
    if (std::isinf(value)) {
        out << "inf";
    } else if (value == 0.0) {
        out << "0.0";
    } else {
        const ShortestDigits shortest = shortest_digits(std::fabs(value));
        const bool use_exponent = shortest.exponent < kLowestPositionalExponent ||
                                  shortest.exponent >= kFirstExponentialExponent;
        use_exponent ? append_exponential(out, shortest) : append_positional(out, shortest);
    }
    return out;
}

}  // namespace torso
