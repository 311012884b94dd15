// Reader of the arm geometry JSON document: a RapidJSON SAX handler that fills the geometry.
#include "arm/geometry_document.h"

#include <rapidjson/allocators.h>
#include <rapidjson/error/en.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace torso::arm {
namespace {

constexpr std::string_view kPrefix = "Invalid arms.json: ";
constexpr std::string_view kGeometryStruct = "struct SphericalLinkGeometry";

// Iterative: nesting lives on the reader's own state stack, so depth cannot exhaust the C stack.
// Numbers as strings: converted here by from_chars, correctly rounded; the reader's own
// conversion misreads some numbers near the ends of the double range. Stop-when-done: the
// reader returns after the value, and the text after it is checked here.
constexpr unsigned kParseFlags = static_cast<unsigned>(rapidjson::kParseIterativeFlag) |
                                 static_cast<unsigned>(rapidjson::kParseNumbersAsStringsFlag) |
                                 static_cast<unsigned>(rapidjson::kParseStopWhenDoneFlag) |
                                 static_cast<unsigned>(rapidjson::kParseValidateEncodingFlag);

// Room for the reader's state stack of an ordinary document (a few levels of nesting).
constexpr std::size_t kReaderStackCapacity = 256;
constexpr std::size_t kReaderBufferSize = 1024;

// The reader's words for a number beyond the double range, used for both its refusal and ours.
constexpr std::string_view kNumberTooBig = "number too big to be stored in double";

/// The four members, in their array order.
enum class Field : std::uint8_t { arm_arc, coupler_arc, branch, mirror };
constexpr std::array<std::string_view, 4> kFieldNames = {"arm_arc", "coupler_arc", "branch",
                                                         "mirror"};

std::optional<Field> field_named(std::string_view key) {
    for (std::size_t i = 0; i < kFieldNames.size(); ++i) {
        if (key == kFieldNames[i]) return static_cast<Field>(i);
    }
    return std::nullopt;
}

std::optional<Branch> branch_named(std::string_view name) {
    if (name == "positive") return Branch::positive;
    if (name == "negative") return Branch::negative;
    return std::nullopt;
}

/// One JSON value as the reader reports it; containers only by their opening bracket.
struct Value {
    enum class Kind : std::uint8_t { null, boolean, number, string, array, object };
    Kind kind;
    bool boolean = false;
    std::string_view text{};  // a number as written, or a string's decoded bytes
};

/// Decimal order of magnitude of a nonzero JSON number text: 2 for "123.4e0", -3 for
/// "0.001". Only its sign matters, so the exponent is clamped.
std::int64_t decimal_order(std::string_view number) {
    const std::size_t e = std::min(number.find_first_of("eE"), number.size());
    const std::string_view mantissa = number.substr(0, e);
    const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
    const std::size_t first = mantissa.find_first_of("123456789");
    std::int64_t exponent = 0;
    bool negative_exponent = false;
    for (const char c : number.substr(std::min(e + 1, number.size()))) {
        if (c == '-') negative_exponent = true;
        if (c >= '0' && c <= '9' && exponent < 1'000'000'000)
            exponent = (exponent * 10) + (c - '0');
    }
    const auto order = static_cast<std::int64_t>(point) - static_cast<std::int64_t>(first) -
                       (first < point ? 1 : 0);
    return order + (negative_exponent ? -exponent : exponent);
}

/// The nearest double to a JSON number text, or nothing when it is too large for one.
/// A number too small for one rounds to zero, with its sign.
std::optional<double> nearest_double(std::string_view number) {
    double d = 0.0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), d);
    if (ec == std::errc::result_out_of_range) {
        if (decimal_order(number) >= 0) return std::nullopt;
        return number.front() == '-' ? -0.0 : 0.0;
    }
    return d;  // the reader has checked the grammar, which from_chars accepts whole
}

/// Length of the valid UTF-8 sequence (no surrogates, nothing past U+10FFFF) at the start
/// of `s`, or 0 when it is not one.
std::size_t utf8_sequence_length(std::string_view s) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;  // U+D800..U+DFFF are surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else return 0;
    if (s.size() < length || byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    }
    return length;
}

/// Decoded JSON string text made safe to quote in a message: quotes, backslashes and
/// control characters escaped, and any byte that is not valid UTF-8 (a lone surrogate
/// from a \u escape decodes to one) written as \xNN.
std::string quoted_text(std::string_view s) {
    std::string out;
    while (!s.empty()) {
        const unsigned char c = static_cast<unsigned char>(s.front());
        std::size_t length = utf8_sequence_length(s);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F || length == 0) {
            constexpr std::string_view kHex = "0123456789abcdef";
            out += "\\x";
            out += kHex[c >> 4U];
            out += kHex[c & 0xFU];
            length = 1;
        } else {
            out.append(s.substr(0, length));
        }
        s.remove_prefix(length);
    }
    return out;
}

/// How a found value is named in "invalid type" messages.
std::string describe(const Value& v) {
    switch (v.kind) {
        case Value::Kind::null: return "null";
        case Value::Kind::boolean: return v.boolean ? "boolean `true`" : "boolean `false`";
        case Value::Kind::number: {
            const bool integer = v.text.find_first_of(".eE") == std::string_view::npos;
            return (integer ? "integer `" : "floating point `") + std::string(v.text) + "`";
        }
        case Value::Kind::string: return "string \"" + quoted_text(v.text) + "\"";
        case Value::Kind::array: return "array";
        case Value::Kind::object: return "object";
    }
    return "value";
}

std::string invalid_type(const Value& found, std::string_view expected) {
    return "invalid type: " + describe(found) + ", expected " + std::string(expected);
}

/// Where the next event fits in the document.
enum class Expect : std::uint8_t {
    document,       // the top-level value
    member_key,     // a key of the geometry object, or its end
    member_value,   // the value of the member `field_`
    skipped_value,  // the value of a member with another key
    element,        // the next element of the geometry array, or its end
    variant_key,    // the key of a branch object: the variant's name
    variant_value,  // the value of that member: null, as the variants carry no data
    variant_end,    // the end of the branch object
    done,
};

/// SAX handler: a state machine over the reader's events that fills the geometry and
/// refuses the first problem by returning false, which stops the reader.
class GeometryHandler {
public:
    explicit GeometryHandler(const rapidjson::MemoryStream& stream) : stream_(stream) {}

    bool Null() { return scalar({.kind = Value::Kind::null}); }
    bool Bool(bool b) { return scalar({.kind = Value::Kind::boolean, .boolean = b}); }
    // Numbers arrive as text (kParseNumbersAsStringsFlag): the typed events never come.
    bool Int(int) { return false; }
    bool Int64(std::int64_t) { return false; }
    bool Uint(unsigned) { return false; }
    bool Uint64(std::uint64_t) { return false; }
    bool Double(double) { return false; }
    bool RawNumber(const char* s, rapidjson::SizeType length, bool) {
        return scalar({.kind = Value::Kind::number, .text = std::string_view(s, length)});
    }
    bool String(const char* s, rapidjson::SizeType length, bool) {
        return scalar({.kind = Value::Kind::string, .text = std::string_view(s, length)});
    }
    bool Key(const char* s, rapidjson::SizeType length, bool) {
        end_ = stream_.Tell();
        return skip_depth_ > 0 || key(std::string_view(s, length));
    }
    bool StartObject() { return open({.kind = Value::Kind::object}); }
    bool StartArray() { return open({.kind = Value::Kind::array}); }
    bool EndObject(rapidjson::SizeType) { return close(); }
    bool EndArray(rapidjson::SizeType) { return close(); }

    const SphericalLinkGeometry& geometry() const { return geometry_; }
    /// Description of the refusal that stopped the reader.
    const std::string& problem() const { return problem_; }
    /// Offset just past the token that caused the refusal.
    std::size_t problem_end() const { return end_; }

private:
    // The reader calls the bracket events before taking the bracket and every other event
    // after its token, so end_ is set one past the bracket to mean the same for both.
    bool scalar(const Value& v) {
        end_ = stream_.Tell();
        return skip_depth_ > 0 || value(v);
    }
    bool open(const Value& v) {
        end_ = stream_.Tell() + 1;
        if (skip_depth_ > 0 || expect_ == Expect::skipped_value) {
            ++skip_depth_;
            return true;
        }
        return value(v);
    }
    bool close() {
        end_ = stream_.Tell() + 1;
        if (skip_depth_ > 0) {
            if (--skip_depth_ == 0) expect_ = Expect::member_key;
            return true;
        }
        return close_container();
    }
    bool refuse(std::string description) {
        problem_ = std::move(description);
        return false;
    }

    bool value(const Value& v);
    bool key(std::string_view name);
    bool close_container();
    bool member(Field field, const Value& v, Expect next);
    bool variant(std::string_view name);

    const rapidjson::MemoryStream& stream_;
    SphericalLinkGeometry geometry_{0.0, 0.0, Branch::positive, false};
    std::array<bool, 4> seen_{};  // by Field
    Expect expect_ = Expect::document;
    Expect after_branch_ = Expect::done;  // where a branch object hands back to
    Field field_ = Field::arm_arc;
    std::size_t skip_depth_ = 0;  // open containers of a skipped member's value
    std::size_t elements_ = 0;    // of the geometry array, so far
    std::size_t end_ = 0;
    std::string problem_;
};

bool GeometryHandler::value(const Value& v) {
    switch (expect_) {
        case Expect::document:
            if (v.kind == Value::Kind::object) expect_ = Expect::member_key;
            else if (v.kind == Value::Kind::array) expect_ = Expect::element;
            else return refuse(invalid_type(v, kGeometryStruct));
            return true;
        case Expect::member_value: return member(field_, v, Expect::member_key);
        case Expect::skipped_value: expect_ = Expect::member_key; return true;
        case Expect::element:
            if (elements_ == kFieldNames.size()) {
                return refuse("invalid length 5, expected " + std::string(kGeometryStruct) +
                              " with 4 elements");
            }
            return member(static_cast<Field>(elements_++), v, Expect::element);
        case Expect::variant_value:
            if (v.kind != Value::Kind::null) return refuse(invalid_type(v, "null"));
            expect_ = Expect::variant_end;
            return true;
        default: return true;  // the reader's grammar sends no value here
    }
}

bool GeometryHandler::key(std::string_view name) {
    switch (expect_) {
        case Expect::member_key: {
            const std::optional<Field> field = field_named(name);
            if (!field) {
                expect_ = Expect::skipped_value;
                return true;
            }
            bool& seen = seen_[static_cast<std::size_t>(*field)];
            if (seen) return refuse("duplicate field `" + std::string(name) + "`");
            seen = true;
            field_ = *field;
            expect_ = Expect::member_value;
            return true;
        }
        case Expect::variant_key: expect_ = Expect::variant_value; return variant(name);
        case Expect::variant_end: return refuse("expected `}` after the variant of enum Branch");
        default: return true;  // the reader's grammar sends no key here
    }
}

bool GeometryHandler::close_container() {
    switch (expect_) {
        case Expect::member_key:
            // arm_arc is reported first, whatever the order of the members.
            for (const Field required : {Field::arm_arc, Field::coupler_arc}) {
                const auto i = static_cast<std::size_t>(required);
                if (!seen_[i]) return refuse("missing field `" + std::string(kFieldNames[i]) + "`");
            }
            expect_ = Expect::done;
            return true;
        case Expect::element:
            if (elements_ < 2) {
                return refuse("invalid length " + std::to_string(elements_) + ", expected " +
                              std::string(kGeometryStruct) + " with 4 elements");
            }
            expect_ = Expect::done;
            return true;
        case Expect::variant_key: return refuse("missing variant of enum Branch");
        case Expect::variant_end: expect_ = after_branch_; return true;
        default: return true;  // the reader's grammar closes nothing else
    }
}

/// Reads the value of one field, then expects `next`.
bool GeometryHandler::member(Field field, const Value& v, Expect next) {
    expect_ = next;
    switch (field) {
        case Field::arm_arc:
        case Field::coupler_arc: {
            if (v.kind != Value::Kind::number)
                return refuse(invalid_type(v, "a floating-point number"));
            const std::optional<double> number = nearest_double(v.text);
            if (!number) return refuse(std::string(kNumberTooBig));
            (field == Field::arm_arc ? geometry_.arm_arc : geometry_.coupler_arc) = *number;
            return true;
        }
        case Field::mirror:
            if (v.kind != Value::Kind::boolean) return refuse(invalid_type(v, "a boolean"));
            geometry_.mirror = v.boolean;
            return true;
        case Field::branch:
            if (v.kind == Value::Kind::string) return variant(v.text);
            if (v.kind != Value::Kind::object) return refuse(invalid_type(v, "enum Branch"));
            after_branch_ = next;
            expect_ = Expect::variant_key;
            return true;
    }
    return true;
}

bool GeometryHandler::variant(std::string_view name) {
    const std::optional<Branch> branch = branch_named(name);
    if (!branch)
        return refuse("unknown variant `" + quoted_text(name) +
                      "`, expected `positive` or `negative`");
    geometry_.branch = *branch;
    return true;
}

/// " at line L column C" for the byte at `offset` (one past the end for the end of the
/// text): lines counted from 1 at each LF, columns in bytes from 1.
std::string position(std::string_view text, std::size_t offset) {
    const std::string_view before = text.substr(0, offset);
    const std::size_t line =
        1 + static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n'));
    const std::size_t last_newline = before.rfind('\n');
    const std::size_t column =
        offset - (last_newline == std::string_view::npos ? 0 : last_newline + 1) + 1;
    return " at line " + std::to_string(line) + " column " + std::to_string(column);
}

/// What the reader was reading when the text ended, for "EOF while parsing ...".
std::string_view unfinished(rapidjson::ParseErrorCode code) {
    switch (code) {
        case rapidjson::kParseErrorObjectMissName:
        case rapidjson::kParseErrorObjectMissColon:
        case rapidjson::kParseErrorObjectMissCommaOrCurlyBracket: return "an object";
        case rapidjson::kParseErrorArrayMissCommaOrSquareBracket: return "an array";
        case rapidjson::kParseErrorStringMissQuotationMark:
        case rapidjson::kParseErrorStringUnicodeEscapeInvalidHex:
        case rapidjson::kParseErrorStringUnicodeSurrogateInvalid:
        case rapidjson::kParseErrorStringEscapeInvalid: return "a string";
        case rapidjson::kParseErrorNumberMissFraction:
        case rapidjson::kParseErrorNumberMissExponent: return "a number";
        default: return "a value";
    }
}

/// The reader's description of a syntax error: its own words, in lower case and without
/// the full stop, except at the end of the text, where it says what the text left open.
std::string syntax_error(rapidjson::ParseErrorCode code, bool at_end) {
    if (at_end && code != rapidjson::kParseErrorNumberTooBig) {
        return "EOF while parsing " + std::string(unfinished(code));
    }
    std::string words = rapidjson::GetParseError_En(code);
    if (!words.empty() && words.back() == '.') words.pop_back();
    if (!words.empty() && words.front() >= 'A' && words.front() <= 'Z')
        words.front() = static_cast<char>(words.front() - 'A' + 'a');
    return words;
}

std::unexpected<GeometryDocumentError> refused(std::string_view text,
                                               const std::string& description, std::size_t offset) {
    return std::unexpected(
        GeometryDocumentError{std::string(kPrefix) + description + position(text, offset)});
}

}  // namespace

// Positions name one byte. A refused value, key or bracket is pointed at by its last byte;
// a syntax error by the byte where the reader found it (for a premature end, the column
// just past the text); trailing characters by their first byte. RapidJSON reports the end
// of the text at a NUL byte too, so a NUL is refused as a syntax error at its own column.
std::expected<SphericalLinkGeometry, GeometryDocumentError>
read_geometry_document(std::string_view json) {
    rapidjson::MemoryStream stream(json.data(), json.size());
    GeometryHandler handler(stream);
    // The reader's state stack starts in a buffer on the C stack, so an ordinary document is
    // read without touching the heap; deep nesting grows it into heap chunks.
    alignas(std::max_align_t) char stack_buffer[kReaderBufferSize];
    rapidjson::MemoryPoolAllocator<> allocator(stack_buffer, sizeof stack_buffer);
    rapidjson::GenericReader<rapidjson::UTF8<>, rapidjson::UTF8<>, rapidjson::MemoryPoolAllocator<>>
        reader(&allocator, kReaderStackCapacity);
    const rapidjson::ParseResult result = reader.Parse<kParseFlags>(stream, handler);
    if (result.Code() == rapidjson::kParseErrorTermination) {
        return refused(json, handler.problem(), handler.problem_end() - 1);
    }
    if (result.IsError()) {
        return refused(json, syntax_error(result.Code(), result.Offset() >= json.size()),
                       result.Offset());
    }
    const std::size_t rest = json.find_first_not_of(" \t\n\r", stream.Tell());
    if (rest != std::string_view::npos) return refused(json, "trailing characters", rest);
    return handler.geometry();
}

}  // namespace torso::arm
