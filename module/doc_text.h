// The doc texts derived from a method's declaration: its text signature and its doc body.
// No Python here: the method tables and the stub records both read them.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "stubs/default_text.h"

namespace torso::py {

/// One parameter as a text signature shows it.
struct SignatureParam {
    std::string_view name;
    const stubs::DefaultText* default_text = nullptr;  // set when the caller may omit it
    bool keyword_only = false;
};

/// "name($self, a, b=None, *, workers=1)": `receiver` adds "$self"; a `*` goes before the
/// first keyword-only parameter.
std::string text_signature(std::string_view name, bool receiver,
                           std::span<const SignatureParam> params);

/// The run-time doc string: the text signature, "\n--\n\n" and the body, from which the
/// interpreter derives __text_signature__ and __doc__.
std::string runtime_doc(std::string_view signature, std::string_view body);

/// `body` followed by the sentence on `workers` that every array method with shared rows
/// carries. A body ending in a line break puts the sentence on a line of its own; otherwise
/// the sentence continues the body's last line, wrapped as the hand-written texts were.
std::string with_workers_sentence(std::string_view body);

/// `body` followed by the sentence on `out` that every array method carries, placed alike.
std::string with_out_sentence(std::string_view body);

}  // namespace torso::py
