// Writes the module's type-stub file from the class and methods records registered at load.
//
//   torso_stubgen [OUTPUT]          the .pyi text, to OUTPUT or standard output
//   torso_stubgen --list [OUTPUT]   the registry walk: one JSON object per entry, in walk order
//
// The tool links the same record objects as the extension module, so its own load-time
// initialisers fill the registries exactly as loading the module does.
//
// Signature forms: an argument whose form is `absent` (the method declares no explicit
// signature) and one whose form is `plain` are both written as an ordinary parameter
// `name: T`; the form shows only in --list. Keyword-only arguments follow a `*`; there are
// no positional-only markers, since every other parameter can be passed either way.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <typeinfo>
#include <vector>

#include "stubs/records.h"
#include "stubs/registry.h"

namespace torso::stubs {
namespace {

/// Longest `def` line written on one line; longer ones get one parameter per line.
constexpr std::size_t kMaxLineWidth = 100;
constexpr std::string_view kIndent = "    ";

/// The records of a registry in walk order: newest first.
template <class Record>
std::vector<const Record*> walk(const Registry<Record>& registry) {
    std::vector<const Record*> records;
    for (const auto* entry = registry.head(); entry != nullptr; entry = entry->next) {
        records.push_back(&entry->record);
    }
    return records;
}

/// One class with its methods record.
struct ClassStub {
    const PyClassInfo& info;
    const PyMethodsInfo& methods;
};

/// Classes in registration order (the reverse of the walk), each joined to the one
/// methods record of the same type identity.
std::vector<ClassStub> join_records() {
    std::vector<const PyClassInfo*> classes = walk(class_registry());
    const std::vector<const PyMethodsInfo*> methods = walk(methods_registry());
    std::reverse(classes.begin(), classes.end());
    std::vector<ClassStub> joined;
    for (const PyClassInfo* info : classes) {
        const PyMethodsInfo* match = nullptr;
        for (const PyMethodsInfo* candidate : methods) {
            if (candidate->identity() != info->identity()) continue;
            if (match != nullptr) {
                throw std::runtime_error("two methods records for " + std::string(info->name));
            }
            match = candidate;
        }
        if (match == nullptr) {
            throw std::runtime_error("no methods record for class " + std::string(info->name));
        }
        joined.push_back({*info, *match});
    }
    if (joined.size() != methods.size()) {
        throw std::runtime_error("a methods record matches no class record");
    }
    return joined;
}

/// The one module that all classes belong to.
std::string_view own_module(const std::vector<ClassStub>& classes) {
    std::set<std::string_view> modules;
    for (const ClassStub& cls : classes) {
        const std::optional<std::string_view>& module = cls.info.module;
        if (!module.has_value()) {
            throw std::runtime_error("class " + std::string(cls.info.name) + " names no module");
        }
        modules.insert(module.value());
    }
    if (modules.size() != 1) throw std::runtime_error("the classes belong to different modules");
    return *modules.begin();
}

// ---- the stub text ----

/// A docstring literal, indented by `indent`; multi-line ones close on their own line.
std::string docstring(std::string_view doc, std::string_view indent) {
    std::string escaped;
    for (std::size_t i = 0; i < doc.size(); ++i) {
        const char c = doc[i];
        // A backslash would start an escape; a quote could close the literal early.
        const bool closes_early =
            c == '"' && (doc.substr(i).starts_with("\"\"\"") || i + 1 == doc.size());
        if (c == '\\' || closes_early) {
            escaped += '\\';
        }
        escaped += c;
    }
    std::string out = std::string(indent) + "\"\"\"";
    std::string_view rest = escaped;
    bool first = true;
    while (true) {
        const std::size_t end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        if (!first && !line.empty()) out += indent;
        out += line;
        if (end == std::string_view::npos) break;
        out += '\n';
        rest.remove_prefix(end + 1);
        first = false;
    }
    if (!first) {
        out += '\n';
        out += indent;
    }
    out += "\"\"\"\n";
    return out;
}

std::string parameter(const PyArgEntry& argument) {
    std::string out = std::string(argument.name) + ": " + argument.type().expression;
    if (argument.form == SignatureForm::with_default) {
        out += " = " + std::string(argument.default_text->text());
    }
    return out;
}

/// The `def` line(s) and body of one method, indented as a class member.
std::string method_text(const PyMethodEntry& method) {
    std::vector<std::string> parameters;
    if (method.kind == MethodKind::instance) parameters.emplace_back("self");
    if (method.kind == MethodKind::constructor) parameters.emplace_back("cls");
    bool seen_default = false;
    bool seen_keyword_only = false;
    for (const PyArgEntry& argument : method.arguments) {
        const bool has_default = argument.form == SignatureForm::with_default;
        const auto refuse = [&](const char* why) {
            throw std::runtime_error("argument " + std::string(argument.name) + " of " +
                                     std::string(method.name) + why);
        };
        if (seen_keyword_only && !argument.keyword_only) refuse(" follows a keyword-only one");
        if (seen_default && !has_default && !argument.keyword_only)
            refuse(" follows one with a default");
        if (argument.keyword_only && !seen_keyword_only) parameters.emplace_back("*");
        seen_default = seen_default || has_default;
        seen_keyword_only = seen_keyword_only || argument.keyword_only;
        parameters.push_back(parameter(argument));
    }
    const std::string head = std::string(kIndent) + "def " + std::string(method.name) + "(";
    const std::string tail = ") -> " + method.result().expression + ":";
    std::string joined;
    for (const std::string& p : parameters) joined += (joined.empty() ? "" : ", ") + p;

    std::string out = method.kind == MethodKind::static_method
                          ? std::string(kIndent) + "@staticmethod\n"
                          : std::string();
    const std::string body_indent = std::string(kIndent) + std::string(kIndent);
    if (head.size() + joined.size() + tail.size() <= kMaxLineWidth) {
        out += head + joined + tail;
    } else {
        out += head + "\n";
        for (const std::string& p : parameters) out += body_indent + p + ",\n";
        out += std::string(kIndent) + tail;
    }
    if (method.doc.empty()) return out + " ...\n";
    return out + "\n" + docstring(method.doc, body_indent);
}

std::string member_text(const PyMemberEntry& member, bool class_variable) {
    std::string type = member.type().expression;
    if (class_variable) type = "typing.ClassVar[" + type + "]";
    std::string out = std::string(kIndent) + std::string(member.name) + ": " + type + "\n";
    if (!member.doc.empty()) out += docstring(member.doc, kIndent);
    return out;
}

std::string class_text(const ClassStub& cls) {
    std::vector<std::string> blocks;
    if (!cls.info.doc.empty()) blocks.push_back(docstring(cls.info.doc, kIndent));
    for (const PyMemberEntry& member : cls.info.instance_members) {
        blocks.push_back(member_text(member, false));
    }
    for (const PyMemberEntry& member : cls.info.class_members) {
        blocks.push_back(member_text(member, true));
    }
    for (const PyMemberEntry& member : cls.methods.attributes) {
        blocks.push_back(member_text(member, false));
    }
    for (const PyMethodEntry& method : cls.methods.methods) blocks.push_back(method_text(method));
    if (blocks.empty()) blocks.push_back(std::string(kIndent) + "...\n");

    // Every class of the module refuses subclassing, which a type checker learns from final.
    std::string out = "@typing.final\nclass " + std::string(cls.info.name) + ":\n";
    for (std::size_t i = 0; i < blocks.size(); ++i) out += (i == 0 ? "" : "\n") + blocks[i];
    return out;
}

/// Every module named by a type expression of the stub, without the stub's own.
std::set<ModuleRef> imported_modules(const std::vector<ClassStub>& classes,
                                     std::string_view module) {
    std::set<ModuleRef> modules{"typing"};  // for typing.final
    const auto add = [&](TypeFunction type) {
        const TypeInfo info = type();
        modules.insert(info.modules.begin(), info.modules.end());
    };
    for (const ClassStub& cls : classes) {
        for (const PyMemberEntry& member : cls.info.instance_members) add(member.type);
        for (const PyMemberEntry& member : cls.info.class_members) add(member.type);
        for (const PyMemberEntry& member : cls.methods.attributes) add(member.type);
        for (const PyMethodEntry& method : cls.methods.methods) {
            add(method.result);
            for (const PyArgEntry& argument : method.arguments) add(argument.type);
        }
    }
    modules.erase(ModuleRef(module));
    return modules;
}

std::string stub_text(const std::vector<ClassStub>& classes) {
    std::string out;
    for (const ModuleRef& module : imported_modules(classes, own_module(classes))) {
        out += "import " + module + "\n";
    }
    out += "\n__all__ = [";
    for (std::size_t i = 0; i < classes.size(); ++i) {
        out += (i == 0 ? "\"" : ", \"") + std::string(classes[i].info.name) + "\"";
    }
    out += "]\n";
    for (const ClassStub& cls : classes) {
        out += '\n';
        out += class_text(cls);
    }
    return out;
}

// ---- the registry listing ----

std::string json_string(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            out += escape;
        } else {
            out += c;  // UTF-8 passes through unchanged
        }
    }
    return out + "\"";
}

template <class Range, class Format>
std::string json_list(const Range& items, Format format) {
    std::string out = "[";
    for (const auto& item : items) out += (out.size() == 1 ? "" : ", ") + format(item);
    return out + "]";
}

std::string json_type(TypeFunction type) {
    const TypeInfo info = type();
    return "{\"expression\": " + json_string(info.expression) + ", \"modules\": " +
           json_list(info.modules, [](const ModuleRef& m) { return json_string(m); }) + "}";
}

std::string json_member(const PyMemberEntry& member) {
    return "{\"name\": " + json_string(member.name) + ", \"type\": " + json_type(member.type) +
           ", \"doc\": " + json_string(member.doc) + "}";
}

std::string_view form_name(SignatureForm form) {
    switch (form) {
        case SignatureForm::absent: return "absent";
        case SignatureForm::plain: return "plain";
        case SignatureForm::with_default: return "with_default";
    }
    throw std::runtime_error("unknown signature form");
}

std::string json_argument(const PyArgEntry& argument) {
    const std::string default_text = argument.default_text != nullptr
                                         ? json_string(argument.default_text->text())
                                         : std::string("null");
    return "{\"name\": " + json_string(argument.name) +
           ", \"form\": " + json_string(form_name(argument.form)) +
           ", \"default\": " + default_text + ", \"type\": " + json_type(argument.type) +
           ", \"keyword_only\": " + (argument.keyword_only ? "true" : "false") + "}";
}

std::string json_method(const PyMethodEntry& method) {
    return "{\"name\": " + json_string(method.name) +
           ", \"kind\": " + std::to_string(static_cast<int>(method.kind)) +
           ", \"arguments\": " + json_list(method.arguments, json_argument) +
           ", \"result\": " + json_type(method.result) + ", \"doc\": " + json_string(method.doc) +
           "}";
}

/// Small numbers for type identities, in order of first appearance, so that the
/// listing is the same on every run while showing which records share an identity.
class IdentityNumbers {
public:
    int operator()(TypeIdentity identity) {
        const std::type_info& type = identity();
        for (std::size_t i = 0; i < seen_.size(); ++i) {
            if (*seen_[i] == type) return static_cast<int>(i) + 1;
        }
        seen_.push_back(&type);
        return static_cast<int>(seen_.size());
    }

private:
    std::vector<const std::type_info*> seen_;
};

std::string listing_text() {
    IdentityNumbers identity;
    std::string out;
    int position = 0;
    for (const PyClassInfo* info : walk(class_registry())) {
        out += "{\"registry\": \"classes\", \"position\": " + std::to_string(position++) +
               ", \"identity\": " + std::to_string(identity(info->identity)) +
               ", \"name\": " + json_string(info->name) +
               ", \"module\": " + (info->module ? json_string(*info->module) : "null") +
               ", \"doc\": " + json_string(info->doc) +
               ", \"instance_members\": " + json_list(info->instance_members, json_member) +
               ", \"class_members\": " + json_list(info->class_members, json_member) + "}\n";
    }
    position = 0;
    for (const PyMethodsInfo* info : walk(methods_registry())) {
        out += "{\"registry\": \"methods\", \"position\": " + std::to_string(position++) +
               ", \"identity\": " + std::to_string(identity(info->identity)) +
               ", \"attributes\": " + json_list(info->attributes, json_member) +
               ", \"methods\": " + json_list(info->methods, json_method) + "}\n";
    }
    return out;
}

void write(const std::string& text, const std::string& path) {
    if (path.empty()) {
        std::cout << text;
        return;
    }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (!file) throw std::runtime_error("cannot write " + path);
}

}  // namespace
}  // namespace torso::stubs

int main(int argc, char** argv) {
    using namespace torso::stubs;
    const std::vector<std::string> args(argv + 1, argv + argc);
    const bool list = !args.empty() && args[0] == "--list";
    const std::size_t operands = args.size() - (list ? 1 : 0);
    if (operands > 1 || (operands == 1 && args.back().starts_with('-'))) {
        std::cerr << "usage: torso_stubgen [--list] [OUTPUT]\n";
        return 2;
    }
    try {
        write(list ? listing_text() : stub_text(join_records()), operands == 1 ? args.back() : "");
    } catch (const std::exception& error) {
        std::cerr << "torso_stubgen: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
