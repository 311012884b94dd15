// libFuzzer target: the arm geometry document reader on arbitrary bytes.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "arm/geometry_document.h"
#include "arm/geometry_document_writer.h"

namespace {

using torso::arm::read_geometry_document;

[[noreturn]] void fail(const char* what, std::string_view detail) {
    std::fprintf(stderr, "fuzz_geometry_document: %s: %.*s\n", what,
                 static_cast<int>(detail.size()), detail.data());
    std::abort();
}

/// Whether `s` is well-formed UTF-8: the binding turns a refusal into a Python str.
bool is_utf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto lead = static_cast<unsigned char>(s[i]);
        std::size_t length = 1;
        unsigned char low = 0x80, high = 0xBF;
        if (lead < 0x80) length = 1;
        else if (lead >= 0xC2 && lead <= 0xDF) length = 2;
        else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else return false;
        if (i + length > s.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto byte = static_cast<unsigned char>(s[i + k]);
            if (byte < (k == 1 ? low : 0x80) || byte > (k == 1 ? high : 0xBF)) return false;
        }
        i += length;
    }
    return true;
}

/// A refusal reads "Invalid arms.json: <description> at line L column C", and L and C name
/// a byte of the text or the column just past the end of a line.
void check_refusal(std::string_view text, std::string_view message) {
    constexpr std::string_view kPrefix = "Invalid arms.json: ";
    if (message.substr(0, kPrefix.size()) != kPrefix) fail("prefix", message);
    if (!is_utf8(message)) fail("not UTF-8", message);
    unsigned long line = 0, column = 0;
    const std::size_t at = message.rfind(" at line ");
    // The position's digits are the reader's own; matching both fields is the check.
    if (at == std::string_view::npos || at <= kPrefix.size() ||
        std::sscanf(  // NOLINT(bugprone-unchecked-string-to-number-conversion)
            std::string(message.substr(at)).c_str(), " at line %lu column %lu", &line, &column) !=
            2) {
        fail("no position", message);
    }
    std::size_t line_start = 0;
    for (unsigned long l = 1; l < line; ++l) {
        const std::size_t newline = text.find('\n', line_start);
        if (newline == std::string_view::npos) fail("line past the text", message);
        line_start = newline + 1;
    }
    const std::size_t line_end = std::min(text.find('\n', line_start), text.size());
    if (line == 0 || column == 0 || column > line_end - line_start + 1)
        fail("column past the line", message);
}

bool same(const torso::arm::SphericalLinkGeometry& a, const torso::arm::SphericalLinkGeometry& b) {
    return std::bit_cast<std::uint64_t>(a.arm_arc) == std::bit_cast<std::uint64_t>(b.arm_arc) &&
           std::bit_cast<std::uint64_t>(a.coupler_arc) ==
               std::bit_cast<std::uint64_t>(b.coupler_arc) &&
           a.branch == b.branch && a.mirror == b.mirror;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto result = read_geometry_document(text);
    if (!result) {
        check_refusal(text, result.error().message);
        return 0;
    }
    // Trailing white space changes nothing.
    const auto padded = read_geometry_document(std::string(text) + " \t\r\n");
    if (!padded || !same(*padded, *result)) fail("padding changed the result", text);
    // Whatever was read (finite: a number past the double range is refused) is written back
    // and reads again as the very same geometry.
    const auto written = torso::arm::write_geometry_document(*result);
    if (!written) fail("read geometry not written", written.error().message);
    const auto reread = read_geometry_document(written->view());
    if (!reread || !same(*reread, *result))
        fail("written document reads back differently", written->view());
    return 0;
}
