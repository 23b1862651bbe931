#include "installengine/declaredplan.hpp"

#include "setuputil/codepage.hpp"
#include "setuputil/namefold.hpp"

#include <algorithm>

namespace installengine {

namespace {

void AppendText(std::vector<std::uint8_t>& data, const std::u16string& text) {
    const std::vector<std::uint8_t> more = RegTextData(text);
    data.insert(data.end(), more.begin(), more.end());
}

void AppendNumber(std::vector<std::uint8_t>& data, std::uint64_t number, int bytes) {
    for (int i = 0; i < bytes; ++i) data.push_back(static_cast<std::uint8_t>(number >> (8 * i)));
}

std::u16string Ascii(const std::string& text) { return std::u16string(text.begin(), text.end()); }

}  // namespace

DeclaredPlan PlanDeclared(const payload::Declarations& declarations, const InstallInputs& in) {
    DeclaredPlan plan;
    const std::u16string app = BareFolder(in);
    const std::u16string version = setuputil::AnsiToWide(in.productversion);
    const std::u16string lang = Ascii(in.language);
    const auto fill = [&](const std::u16string& text) { return payload::FillPlaceholders(text, app, version, lang); };
    for (const payload::RegistryDeclaration& d : declarations.registry) {
        if (!TaskChosen(in, d.task)) continue;
        DeclaredValue v{d.key, d.name, kRegSz, {}};
        switch (d.type) {
            case payload::RegistryType::String:
            case payload::RegistryType::Expandable:
                v.type = d.type == payload::RegistryType::String ? kRegSz : kRegExpandSz;
                AppendText(v.data, d.texts.empty() ? std::u16string() : fill(d.texts.front()));
                break;
            case payload::RegistryType::MultiString:
                v.type = kRegMultiSz;
                for (const std::u16string& item : d.texts) AppendText(v.data, fill(item));
                AppendText(v.data, u"");
                break;
            case payload::RegistryType::Dword:
                v.type = kRegDword;
                AppendNumber(v.data, d.number, 4);
                break;
            case payload::RegistryType::Qword:
                v.type = kRegQword;
                AppendNumber(v.data, d.number, 8);
                break;
            case payload::RegistryType::Binary:
                v.type = kRegBinary;
                v.data = d.bytes;
                break;
        }
        // One value, one line of the record: a repeated declaration replaces the earlier.
        std::erase_if(plan.values, [&](const DeclaredValue& e) {
            return IsKeyOrParent(e.key, d.key) && IsKeyOrParent(d.key, e.key) && setuputil::SameName(e.name, d.name);
        });
        plan.values.push_back(std::move(v));
    }
    if (declarations.startatsignin && TaskChosen(in, declarations.signintask)) {
        plan.signinname = IdentityName(in);
        plan.signincommand = u"\"" + ProgramPath(in) + u"\"";
        const std::u16string arguments = fill(declarations.signinarguments);
        if (!arguments.empty()) plan.signincommand += u" " + arguments;
    }
    for (const payload::PathDeclaration& p : declarations.path)
        if (TaskChosen(in, p.task)) plan.pathentries.push_back(p.folder.empty() ? app : app + u"\\" + p.folder);
    for (const payload::EnvironmentDeclaration& e : declarations.environment)
        if (TaskChosen(in, e.task)) plan.variables.emplace_back(e.name, fill(e.value));
    for (const payload::FileTypeDeclaration& f : declarations.filetypes) {
        if (!TaskChosen(in, f.task)) continue;
        PlannedFileType type{f.progid, fill(f.description), {}, f.extensions, {}};
        if (!f.icon.empty()) type.icon = app + u"\\" + f.icon + u"," + Ascii(std::to_string(f.iconindex));
        for (const payload::VerbDeclaration& v : f.verbs)
            type.verbs.emplace_back(v.verb, CommandLine(in, v.program, fill(v.arguments)));
        plan.filetypes.push_back(std::move(type));
    }
    for (const payload::ProtocolDeclaration& p : declarations.protocols)
        if (TaskChosen(in, p.task))
            plan.protocols.push_back({p.scheme, fill(p.description), app + u"\\" + p.program + u",0",
                                      CommandLine(in, p.program, fill(p.arguments))});
    return plan;
}

std::u16string CommandLine(const InstallInputs& in, const std::u16string& program, const std::u16string& arguments) {
    std::u16string command = u"\"" + BareFolder(in) + u"\\" + program + u"\"";
    if (!arguments.empty()) command += u" " + arguments;
    return command;
}

std::vector<std::uint8_t> RegTextData(const std::u16string& text) {
    std::vector<std::uint8_t> data;
    data.reserve((text.size() + 1) * 2);
    for (char16_t c : text + u'\0') {
        data.push_back(static_cast<std::uint8_t>(c & 0xff));
        data.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return data;
}

std::u16string RegDataText(const std::vector<std::uint8_t>& data) {
    std::u16string text;
    for (std::size_t i = 0; i + 1 < data.size(); i += 2) text += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    while (!text.empty() && text.back() == u'\0') text.pop_back();
    return text;
}

bool TaskChosen(const InstallInputs& in, const std::string& task) {
    return task.empty() || std::find(in.tasks.begin(), in.tasks.end(), task) != in.tasks.end();
}

bool WantsDesktopShortcut(const payload::Declarations& declarations, const InstallInputs& in) {
    const bool optional = std::any_of(declarations.tasks.begin(), declarations.tasks.end(),
                                      [](const payload::TaskDeclaration& t) { return t.name == payload::kDesktopIconTask; });
    return !optional || TaskChosen(in, payload::kDesktopIconTask);
}

std::vector<std::pair<std::string, bool>> TaskChoices(const payload::Declarations& declarations,
                                                      const InstallInputs& in) {
    std::vector<std::pair<std::string, bool>> choices;
    for (const payload::TaskDeclaration& t : declarations.tasks) choices.emplace_back(t.name, TaskChosen(in, t.name));
    return choices;
}

std::u16string RootTag(payload::InstallScope scope) {
    return scope == payload::InstallScope::User ? u"HKCU" : u"HKLM";
}

std::vector<std::string> KeyChain(const std::string& key) {
    std::vector<std::string> chain;
    const std::size_t first = key.find('\\');
    if (first == std::string::npos) return chain;
    for (std::size_t at = key.find('\\', first + 1);; at = key.find('\\', at + 1)) {
        chain.push_back(key.substr(0, at));
        if (at == std::string::npos) return chain;
    }
}

bool IsKeyOrParent(const std::string& key, const std::string& other) {
    if (key.size() > other.size() || (key.size() < other.size() && other[key.size()] != '\\')) return false;
    return setuputil::SameName(Ascii(key), Ascii(other.substr(0, key.size())));
}

}  // namespace installengine
