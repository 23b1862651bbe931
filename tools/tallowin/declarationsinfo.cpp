#include "tools/tallowin/declarationsinfo.hpp"

#include "setuputil/utf8.hpp"
#include "tools/tallowin/jsontext.hpp"

namespace tallowin {

namespace {

using setuputil::Utf16ToUtf8;

// A declared registry value as `info` shows it: the texts (items joined
// by " | "), the number, or the bytes in hex.
std::string DeclaredValueText(const payload::RegistryDeclaration& d) {
    switch (d.type) {
        case payload::RegistryType::Dword:
        case payload::RegistryType::Qword: return std::to_string(d.number);
        case payload::RegistryType::Binary: {
            static constexpr char kHex[] = "0123456789abcdef";
            std::string hex;
            for (std::uint8_t b : d.bytes) {
                hex += kHex[b >> 4];
                hex += kHex[b & 15];
            }
            return hex;
        }
        default: {
            std::string text;
            for (std::size_t i = 0; i < d.texts.size(); ++i) text += (i ? " | " : "") + Utf16ToUtf8(d.texts[i]);
            return text;
        }
    }
}

std::string Codes(const std::vector<std::uint32_t>& codes) {
    std::string text;
    for (std::uint32_t code : codes) text += (text.empty() ? "" : ",") + std::to_string(code);
    return text;
}

const char* CheckName(payload::PrerequisiteCheck check) {
    return check == payload::PrerequisiteCheck::Registry ? "registry" : check == payload::PrerequisiteCheck::File ? "file" : "";
}

std::string Task(const std::string& task) { return task.empty() ? std::string() : " [task " + task + "]"; }

std::string Json(const std::u16string& text) { return JsonString(Utf16ToUtf8(text)); }

template <typename List, typename Each>
void JsonList(std::ostream& out, const char* name, const List& list, Each each) {
    out << ", \"" << name << "\": [";
    for (std::size_t i = 0; i < list.size(); ++i) {
        out << (i ? ", " : "") << "{";
        each(list[i]);
        out << "}";
    }
    out << "]";
}

}  // namespace

void PrintDeclarations(std::ostream& out, const payload::Declarations& d, const std::string& root) {
    for (const payload::TaskDeclaration& t : d.tasks)
        out << "task:             " << t.name << " (" << (t.checked ? "checked" : "unchecked") << ") "
            << (t.text.empty() ? std::string("our own caption") : "\"" + Utf16ToUtf8(t.text) + "\"") << "\n";
    for (const payload::RegistryDeclaration& r : d.registry)
        out << "registry:         " << root << "\\" << r.key << "\\"
            << (r.name.empty() ? std::string("(default)") : Utf16ToUtf8(r.name)) << " ("
            << payload::RegistryTypeName(r.type) << ") = " << DeclaredValueText(r) << Task(r.task) << "\n";
    if (d.startatsignin)
        out << "startatsignin:    " << root << " Run value"
            << (d.signinarguments.empty() ? std::string() : ", arguments " + Utf16ToUtf8(d.signinarguments))
            << Task(d.signintask) << "\n";
    for (const payload::PathDeclaration& p : d.path)
        out << "path:             {app}" << (p.folder.empty() ? "" : "\\" + Utf16ToUtf8(p.folder)) << Task(p.task) << "\n";
    for (const payload::EnvironmentDeclaration& e : d.environment)
        out << "environment:      " << Utf16ToUtf8(e.name) << " = " << Utf16ToUtf8(e.value) << Task(e.task) << "\n";
    for (const payload::FileTypeDeclaration& f : d.filetypes) {
        out << "filetype:         " << f.progid << " \"" << Utf16ToUtf8(f.description) << "\" for";
        for (const std::string& e : f.extensions) out << " " << e;
        out << (f.icon.empty() ? std::string() : ", icon " + Utf16ToUtf8(f.icon) + "," + std::to_string(f.iconindex))
            << Task(f.task) << "\n";
        for (const payload::VerbDeclaration& v : f.verbs)
            out << "  verb " << v.verb << ":       \"{app}\\" << Utf16ToUtf8(v.program) << "\" " << Utf16ToUtf8(v.arguments)
                << "\n";
    }
    for (const payload::ProtocolDeclaration& p : d.protocols)
        out << "protocol:         " << p.scheme << ": \"" << Utf16ToUtf8(p.description) << "\" -> \"{app}\\"
            << Utf16ToUtf8(p.program) << "\" " << Utf16ToUtf8(p.arguments) << Task(p.task) << "\n";
    for (const payload::PrerequisiteDeclaration& p : d.prerequisites) {
        out << "prerequisite:     \"" << Utf16ToUtf8(p.caption) << "\": " << Utf16ToUtf8(p.file) << " "
            << Utf16ToUtf8(p.arguments) << " (success " << Codes(p.successcodes) << ")";
        if (p.check == payload::PrerequisiteCheck::Registry)
            out << ", skipped when " << Utf16ToUtf8(p.where) << "\\"
                << (p.name.empty() ? std::string("(default)") : Utf16ToUtf8(p.name)) << " is there";
        if (p.check == payload::PrerequisiteCheck::File) out << ", skipped when " << Utf16ToUtf8(p.where) << " is there";
        if (!p.minversion.empty()) out << " at version " << p.minversion << " or later";
        out << "\n";
    }
    for (const payload::RunDeclaration& r : d.runs)
        out << "run:              " << payload::RunWhenName(r.when) << ": \"{app}\\" << Utf16ToUtf8(r.program) << "\" "
            << Utf16ToUtf8(r.arguments) << (r.wait ? "" : ", not waited for") << (r.failonerror ? ", must succeed" : "")
            << (r.hidden ? ", hidden" : "") << (r.elevated ? ", elevated" : "") << "\n";
}

void PrintDeclarationsJson(std::ostream& out, const payload::Declarations& d, const std::string& root) {
    out << "{\"registry\": [";
    for (std::size_t i = 0; i < d.registry.size(); ++i) {
        const payload::RegistryDeclaration& r = d.registry[i];
        out << (i ? ", " : "") << "{\"root\": " << JsonString(root) << ", \"key\": " << JsonString(r.key)
            << ", \"name\": " << Json(r.name) << ", \"type\": " << JsonString(payload::RegistryTypeName(r.type))
            << ", \"value\": " << JsonString(DeclaredValueText(r)) << ", \"task\": " << JsonString(r.task) << "}";
    }
    out << "], \"startatsignin\": " << (d.startatsignin ? "true" : "false")
        << ", \"signinarguments\": " << Json(d.signinarguments) << ", \"signintask\": " << JsonString(d.signintask);
    JsonList(out, "tasks", d.tasks, [&](const payload::TaskDeclaration& t) {
        out << "\"name\": " << JsonString(t.name) << ", \"default\": " << (t.checked ? "true" : "false")
            << ", \"text\": " << Json(t.text) << ", \"texts\": {";
        for (std::size_t i = 0; i < t.texts.size(); ++i)
            out << (i ? ", " : "") << JsonString(t.texts[i].first) << ": " << Json(t.texts[i].second);
        out << "}";
    });
    JsonList(out, "path", d.path, [&](const payload::PathDeclaration& p) {
        out << "\"folder\": " << Json(p.folder) << ", \"task\": " << JsonString(p.task);
    });
    JsonList(out, "environment", d.environment, [&](const payload::EnvironmentDeclaration& e) {
        out << "\"name\": " << Json(e.name) << ", \"value\": " << Json(e.value) << ", \"task\": " << JsonString(e.task);
    });
    JsonList(out, "filetypes", d.filetypes, [&](const payload::FileTypeDeclaration& f) {
        out << "\"progid\": " << JsonString(f.progid) << ", \"description\": " << Json(f.description)
            << ", \"extensions\": [";
        for (std::size_t i = 0; i < f.extensions.size(); ++i) out << (i ? ", " : "") << JsonString(f.extensions[i]);
        out << "], \"icon\": " << Json(f.icon) << ", \"iconindex\": " << f.iconindex << ", \"task\": " << JsonString(f.task);
        JsonList(out, "verbs", f.verbs, [&](const payload::VerbDeclaration& v) {
            out << "\"verb\": " << JsonString(v.verb) << ", \"program\": " << Json(v.program)
                << ", \"arguments\": " << Json(v.arguments);
        });
    });
    JsonList(out, "protocols", d.protocols, [&](const payload::ProtocolDeclaration& p) {
        out << "\"scheme\": " << JsonString(p.scheme) << ", \"description\": " << Json(p.description)
            << ", \"program\": " << Json(p.program) << ", \"arguments\": " << Json(p.arguments)
            << ", \"task\": " << JsonString(p.task);
    });
    const auto codes = [&](const std::vector<std::uint32_t>& list) {
        out << "[";
        for (std::size_t i = 0; i < list.size(); ++i) out << (i ? ", " : "") << list[i];
        out << "]";
    };
    JsonList(out, "prerequisites", d.prerequisites, [&](const payload::PrerequisiteDeclaration& p) {
        out << "\"file\": " << Json(p.file) << ", \"caption\": " << Json(p.caption) << ", \"arguments\": " << Json(p.arguments)
            << ", \"unattendedarguments\": " << Json(p.unattendedarguments) << ", \"successcodes\": ";
        codes(p.successcodes);
        out << ", \"check\": " << JsonString(CheckName(p.check)) << ", \"where\": " << Json(p.where)
            << ", \"value\": " << Json(p.name) << ", \"minversion\": " << JsonString(p.minversion);
    });
    JsonList(out, "run", d.runs, [&](const payload::RunDeclaration& r) {
        out << "\"when\": " << JsonString(payload::RunWhenName(r.when)) << ", \"program\": " << Json(r.program)
            << ", \"arguments\": " << Json(r.arguments) << ", \"successcodes\": ";
        codes(r.successcodes);
        out << ", \"wait\": " << (r.wait ? "true" : "false") << ", \"failonerror\": " << (r.failonerror ? "true" : "false")
            << ", \"hidden\": " << (r.hidden ? "true" : "false") << ", \"elevated\": " << (r.elevated ? "true" : "false");
    });
    out << "}";
}

}  // namespace tallowin
