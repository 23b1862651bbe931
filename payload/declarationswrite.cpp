#include "payload/declarations.hpp"
#include "payload/declarationtext.hpp"

#include "setuputil/utf8.hpp"

namespace payload {

using namespace declarationtext;

namespace {

std::string Line(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) line += (i ? "\t" : "") + fields[i];
    return line + "\n";
}

std::string Utf8(const std::u16string& text) { return setuputil::Utf16ToUtf8(text); }

std::string Join(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items) out += (out.empty() ? "" : ",") + item;
    return out;
}

}  // namespace

std::string FormatDeclarations(const Declarations& declarations, std::string* error) {
    auto refuse = [&](const std::string& reason) {
        if (error) *error = reason;
        return std::string();
    };
    if (std::string why = Check(declarations); !why.empty()) return refuse(why);
    const Declarations& d = declarations;
    std::string out = Header(kDeclarationsVersion) + "\n";
    for (const TaskDeclaration& t : d.tasks) {
        out += Line({kTaskLine, t.name, t.checked ? "1" : "0", Utf8(t.text)});
        for (const auto& [code, text] : t.texts) out += Line({kTaskTextLine, t.name, code, Utf8(text)});
    }
    for (const RegistryDeclaration& r : d.registry) {
        std::vector<std::string> fields{kRegistryLine, r.task, RegistryTypeName(r.type), r.key, Utf8(r.name)};
        ValueFields(r, fields);
        if (r.type == RegistryType::MultiString && r.texts.empty()) fields.push_back("");
        const std::string line = Line(fields);
        if (line.size() > kMaxLine) return refuse("registry value in " + r.key + " is too long");
        out += line;
    }
    if (d.startatsignin) out += Line({kSigninLine, d.signintask, Utf8(d.signinarguments)});
    for (const PathDeclaration& p : d.path) out += Line({kPathLine, p.task, Utf8(p.folder)});
    for (const EnvironmentDeclaration& e : d.environment) out += Line({kEnvironmentLine, e.task, Utf8(e.name), Utf8(e.value)});
    for (const FileTypeDeclaration& f : d.filetypes) {
        out += Line({kFileTypeLine, f.task, f.progid, Utf8(f.description), Utf8(f.icon), std::to_string(f.iconindex),
                     Join(f.extensions)});
        for (const VerbDeclaration& v : f.verbs) out += Line({kVerbLine, v.verb, Utf8(v.program), Utf8(v.arguments)});
    }
    for (const ProtocolDeclaration& p : d.protocols)
        out += Line({kProtocolLine, p.task, p.scheme, Utf8(p.description), Utf8(p.program), Utf8(p.arguments)});
    for (const PrerequisiteDeclaration& p : d.prerequisites)
        out += Line({kPrerequisiteLine, Utf8(p.file), Utf8(p.caption), Utf8(p.arguments), Utf8(p.unattendedarguments),
                     CodesText(p.successcodes), kCheckNames[static_cast<std::size_t>(p.check)], Utf8(p.where),
                     Utf8(p.name), p.minversion});
    for (const RunDeclaration& r : d.runs)
        out += Line({kRunLine, RunWhenName(r.when), Utf8(r.program), Utf8(r.arguments), CodesText(r.successcodes),
                     RunFlagsText(r)});
    out += std::string(kEnd) + "\n";
    if (out.size() > kMaxDeclarationsBytes) return refuse("the declarations are too large");
    return out;
}

}  // namespace payload
