// The doc texts derived from a method's declaration.
#include "module/doc_text.h"

namespace torso::py {
namespace {

/// Characters of a line, counting each UTF-8 sequence (θ, →) as one.
std::size_t display_width(std::string_view line) {
    std::size_t width = 0;
    for (const char c : line) {
        width += (static_cast<unsigned char>(c) & 0xC0U) != 0x80U ? 1 : 0;
    }
    return width;
}

/// The widest line a derived sentence fills, after the body's own lines.
constexpr std::size_t kDocWidth = 69;

/// `body` followed by `sentence`. A body ending in a line break puts the sentence on a line of
/// its own; otherwise the sentence continues the body's last line, wrapped as the hand-written
/// texts were.
std::string with_sentence(std::string_view body, std::string_view sentence) {
    std::string text(body);
    if (!body.empty() && body.back() == '\n') {
        text += sentence;
        return text;
    }
    std::size_t column = display_width(body.substr(body.rfind('\n') + 1));
    std::string_view rest = sentence;
    while (!rest.empty()) {
        const std::size_t end = rest.find(' ');
        const std::string_view word = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        const std::size_t width = display_width(word);
        if (column + 1 + width <= kDocWidth) {
            text += ' ';
            column += 1 + width;
        } else {
            text += '\n';
            column = width;
        }
        text += word;
    }
    return text;
}

}  // namespace

std::string text_signature(std::string_view name, bool receiver,
                           std::span<const SignatureParam> params) {
    std::string text(name);
    text += '(';
    std::string_view separator;
    const auto add = [&](std::string_view piece) {
        text += separator;
        text += piece;
        separator = ", ";
    };
    if (receiver) {
        add("$self");
    }
    bool keyword_only = false;
    for (const SignatureParam& param : params) {
        if (param.keyword_only && !keyword_only) {
            add("*");
            keyword_only = true;
        }
        add(param.name);
        if (param.default_text != nullptr) {
            text += '=';
            text += param.default_text->text();
        }
    }
    text += ')';
    return text;
}

std::string runtime_doc(std::string_view signature, std::string_view body) {
    std::string text(signature);
    text += "\n--\n\n";
    text += body;
    return text;
}

std::string with_workers_sentence(std::string_view body) {
    return with_sentence(
        body, "`workers` threads share the rows (-1: one per CPU the process may run on).");
}

std::string with_out_sentence(std::string_view body) {
    return with_sentence(body,
                         "`out`, when given, receives the rows and is returned: a writeable "
                         "C-contiguous array of the result's shape and dtype, sharing no memory "
                         "with the inputs.");
}

}  // namespace torso::py
