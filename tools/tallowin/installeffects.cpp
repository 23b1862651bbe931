#include "tools/tallowin/installeffects.hpp"

#include "installengine/declaredplan.hpp"
#include "installengine/installinputs.hpp"
#include "installengine/installplan.hpp"
#include "installengine/registration.hpp"
#include "payload/reservednames.hpp"
#include "payload/entrypath.hpp"
#include "setuputil/codepage.hpp"
#include "setuputil/pathrules.hpp"
#include "setuputil/textconv.hpp"
#include "setuputil/utf8.hpp"
#include "tools/sacwriter/textcodec.hpp"
#include "tools/tallowin/jsontext.hpp"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ostream>

namespace tallowin {

namespace {

using installengine::InstallInputs;
using sacwriter::Utf16ToUtf8;

std::u16string Wide(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// The folders of a typical 64-bit Windows, in the form a person finds them
// under (the user's own through their variables).
installengine::MachineFolders TypicalFolders() {
    return {u"%APPDATA%\\Microsoft\\Windows\\Start Menu\\Programs", u"%APPDATA%\\Microsoft\\Windows\\Start Menu",
            u"%USERPROFILE%\\Desktop", u"C:\\Windows", u"%LOCALAPPDATA%", true};
}

std::u16string ProposedParent(payload::InstallScope scope, bool x64) {
    if (scope == payload::InstallScope::User) return u"%LOCALAPPDATA%\\Programs";
    return x64 ? u"C:\\Program Files" : u"C:\\Program Files (x86)";
}

bool StartsWithNoCase(const std::string& text, const std::string& head) {
    if (text.size() < head.size()) return false;
    for (std::size_t i = 0; i < head.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(head[i])))
            return false;
    return true;
}

class Builder {
public:
    Builder(InstallEffects& out, const std::string& root, bool redirected)
        : out_(out), root_(root), redirected_(redirected) {}

    void Add(const std::string& kind, const std::u16string& target, const std::u16string& detail = u"") {
        out_.install.push_back({kind, target, detail, u"", -1, std::nullopt});
    }
    void Remove(const std::u16string& target, const std::u16string& detail = u"") {
        out_.uninstall.push_back({"remove", target, detail, u"", -1, std::nullopt});
    }
    // A value under the scope's root; `key` below it.
    void Value(const std::string& key, const std::u16string& name, const std::u16string& detail, const char* root = nullptr) {
        const std::string r = root ? root : root_;
        Effect e{"registry", Wide(r + "\\" + key) + u"\\" + (name.empty() ? u"(default)" : name), detail, u"", -1,
                 std::nullopt};
        // A 32-bit installer's machine-wide values below Software land in
        // the 32-bit view on 64-bit Windows; the classes are shared.
        if (redirected_ && r == "HKLM" && StartsWithNoCase(key, "software\\") &&
            !StartsWithNoCase(key, "software\\classes\\"))
            e.view = Wide("HKLM\\SOFTWARE\\WOW6432Node\\" + key.substr(9)) + u"\\" + (name.empty() ? u"(default)" : name);
        out_.install.push_back(std::move(e));
    }

private:
    InstallEffects& out_;
    std::string root_;
    bool redirected_;
};

std::u16string RegValueDetail(const installengine::RegValue& v) {
    if (v.kind == installengine::RegValueKind::Number) return u"REG_DWORD " + Wide(std::to_string(v.number));
    // The paths the registration keeps in letter-hex are shown decoded too.
    if (v.kind == installengine::RegValueKind::Text && (v.name == "Path" || v.name == "Startpath" || v.name == "Desktop"))
        if (const std::u16string decoded = setuputil::DecodeLetterHex(v.value); !decoded.empty())
            return u"REG_SZ " + installengine::ValueText(v) + u" (letter-hex of " + decoded + u")";
    return u"REG_SZ " + installengine::ValueText(v);
}

std::u16string DeclaredDetail(const installengine::DeclaredValue& v) {
    const auto text = [&](std::size_t from, std::size_t& next) {
        std::u16string s;
        std::size_t i = from;
        for (; i + 1 < v.data.size(); i += 2) {
            const char16_t c = static_cast<char16_t>(v.data[i] | (v.data[i + 1] << 8));
            if (c == 0) break;
            s += c;
        }
        next = i + 2;
        return s;
    };
    std::size_t next = 0;
    switch (v.type) {
        case installengine::kRegSz: return u"REG_SZ " + text(0, next);
        case installengine::kRegExpandSz: return u"REG_EXPAND_SZ " + text(0, next);
        case installengine::kRegMultiSz: {
            std::u16string items;
            for (std::size_t at = 0; at + 2 < v.data.size(); at = next) {
                const std::u16string item = text(at, next);
                if (item.empty()) break;
                items += (items.empty() ? u"" : u" | ") + item;
            }
            return u"REG_MULTI_SZ " + items;
        }
        case installengine::kRegDword:
        case installengine::kRegQword: {
            std::uint64_t number = 0;
            for (std::size_t i = v.data.size(); i-- > 0;) number = (number << 8) | v.data[i];
            return (v.type == installengine::kRegDword ? u"REG_DWORD " : u"REG_QWORD ") + Wide(std::to_string(number));
        }
        default: {
            static constexpr char kHex[] = "0123456789abcdef";
            std::string hex;
            for (std::uint8_t b : v.data) hex += std::string{kHex[b >> 4], kHex[b & 15]};
            return u"REG_BINARY " + Wide(hex);
        }
    }
}

}  // namespace

bool PlanEffects(const Installer& installer, const PlanOptions& options, InstallEffects& out, std::string& error) {
    const payload::tsetuptrailer& trailer = installer.trailer;
    const payload::InstallScope scope = installer.stub.scope;
    const bool peruser = scope == payload::InstallScope::User;
    if (options.scope && *options.scope != scope) {
        error = std::string("this installer installs ") + (peruser ? "for the current user" : "for the whole machine") +
                " only (its scope is stamped by the builder): --scope " + (peruser ? "user" : "machine");
        return false;
    }
    const bool x64 = installer.stub.machine == 0x8664;
    out = {};
    const payload::ProductNames& names = installer.stub.names;
    out.product = names.productname.empty() ? sacwriter::Cp1252ToUtf8(payload::ReadShortString(trailer.productname))
                                            : sacwriter::Utf16ToUtf8(names.productname);
    if (!names.productname.empty()) out.productkey = sacwriter::Cp1252ToUtf8(names.eightbit);
    out.version = sacwriter::Cp1252ToUtf8(payload::ReadShortString(trailer.productversion));
    out.scope = peruser ? "user" : "machine";
    out.architecture = x64 ? "x64" : "x86";
    const std::u16string folder = options.folder.empty()
                                      ? setuputil::RemoveBackslash(ProposedParent(scope, x64)) +
                                            payload::ReadWideField(trailer.defaultsubfolder)
                                      : setuputil::RemoveBackslash(options.folder);
    out.folder = folder;

    InstallInputs in = installengine::InputsFromInstaller(trailer, installer.archive.entrylist(), scope, folder,
                                                          TypicalFolders());
    if (installer.stub.hasversion)
        for (const auto& [name, value] : installer.stub.version.strings)
            if (name == u"CompanyName") in.publisher = value;
    if (!names.productname.empty()) {
        in.displayname = names.productname;
        in.publisher = names.publisher;
    }
    in.recordid = "<random>";
    in.language = options.language;
    // Every optional task is shown as chosen: a reviewer sees all it may do.
    const payload::Declarations& declared = installer.stub.declarations;
    for (const payload::TaskDeclaration& t : declared.tasks) {
        out.tasks.emplace_back(t.name, t.checked);
        in.tasks.push_back(t.name);
    }

    const std::string root = peruser ? "HKCU" : "HKLM";
    Builder b(out, root, !x64);
    // Prerequisites run first, from a temporary folder, before any file of the product.
    for (const payload::PrerequisiteDeclaration& p : declared.prerequisites)
        b.Add("prerequisite", p.file,
              p.caption + u": run with " + (p.arguments.empty() ? u"no arguments" : p.arguments) +
                  (p.check == payload::PrerequisiteCheck::None ? u"" : u", unless " + p.where + u" shows it is there"));
    // The files, in archive order, with the folders they make.
    b.Add("folder", folder, u"the program folder");
    std::vector<std::u16string> seen;
    for (const payload::DirectoryEntry& entry : installer.archive.entrylist()) {
        if (entry.uninstaller || entry.prerequisite) continue;
        const std::u16string relative = payload::EntryDisplayPath(entry);
        for (std::size_t at = relative.find(u'\\'); at != std::u16string::npos; at = relative.find(u'\\', at + 1)) {
            const std::u16string sub = folder + u"\\" + relative.substr(0, at);
            if (std::find(seen.begin(), seen.end(), sub) == seen.end()) {
                seen.push_back(sub);
                b.Add("folder", sub);
            }
        }
        Effect file{"file", folder + u"\\" + relative, u"", u"", entry.filesize, std::nullopt};
        if (installer.archive.kind() == payload::PayloadKind::Solid) file.crc32 = entry.crc32;
        out.install.push_back(std::move(file));
    }
    const std::u16string uninstaller = installengine::UninstallerPath(in);
    b.Add("uninstaller", uninstaller, u"a copy of the installer's program");
    b.Add("record", folder + u"\\" + payload::kInstallRecordName, u"the install record");

    const installengine::RegistrationPlan registration = installengine::PlanRegistration(in);
    for (const installengine::RegValue& v : registration.appvalues) b.Value(v.key, Wide(v.name), RegValueDetail(v));
    for (const installengine::ServiceInstall& s : registration.services) {
        b.Add("service", Wide(s.name), s.programpath + u" (one of this name is stopped and replaced; started)");
        b.Value(s.programvalue.key, Wide(s.programvalue.name), RegValueDetail(s.programvalue));
        b.Value(s.namevalue.key, Wide(s.namevalue.name), RegValueDetail(s.namevalue));
    }
    for (const installengine::RegValue& v : registration.uninstallvalues) b.Value(v.key, Wide(v.name), RegValueDetail(v));

    const installengine::DeclaredPlan plan = installengine::PlanDeclared(declared, in);
    for (const installengine::DeclaredValue& v : plan.values) b.Value(v.key, v.name, DeclaredDetail(v));
    if (!plan.signinname.empty()) b.Value(installengine::kRunKey, plan.signinname, u"REG_SZ " + plan.signincommand);
    const std::string environment =
        peruser ? "Environment" : "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
    for (const std::u16string& entry : plan.pathentries)
        b.Add("path", entry, Wide(root + "\\" + environment) + u"\\Path, unless there already");
    for (const auto& [name, value] : plan.variables) b.Value(environment, name, u"REG_SZ " + value);
    for (const installengine::PlannedFileType& type : plan.filetypes) {
        const std::string key = "Software\\Classes\\" + type.progid;
        b.Add("filetype", Wide(type.progid), type.description + u", unless another program has made the class");
        b.Value(key, u"", u"REG_SZ " + type.description);
        if (!type.icon.empty()) b.Value(key + "\\DefaultIcon", u"", u"REG_SZ " + type.icon);
        for (const auto& [verb, command] : type.verbs) b.Value(key + "\\shell\\" + verb + "\\command", u"", u"REG_SZ " + command);
        for (const std::string& extension : type.extensions) {
            b.Value("Software\\Classes\\" + extension + "\\OpenWithProgids", Wide(type.progid), u"REG_NONE");
            b.Value("Software\\Classes\\" + extension, u"", u"REG_SZ " + Wide(type.progid) + u", only when it has no default");
        }
    }
    for (const installengine::PlannedProtocol& protocol : plan.protocols) {
        const std::string key = "Software\\Classes\\" + protocol.scheme;
        b.Add("protocol", Wide(protocol.scheme), protocol.command + u", unless another program owns the scheme");
        b.Value(key, u"", u"REG_SZ URL:" + protocol.description);
        b.Value(key, u"URL Protocol", u"REG_SZ ");
        b.Value(key + "\\DefaultIcon", u"", u"REG_SZ " + protocol.icon);
        b.Value(key + "\\shell\\open\\command", u"", u"REG_SZ " + protocol.command);
    }
    const bool desktop = installengine::WantsDesktopShortcut(declared, in);
    for (const installengine::ShortcutSpec& link : installengine::PlanShortcuts(in)) {
        if (!link.ingroup && link.linkfile == installengine::DesktopLinkPath(in) && !desktop) continue;
        b.Add("shortcut", link.linkfile, link.target + (link.arguments.empty() ? u"" : u" " + link.arguments));
    }
    std::u16string version;
    setuputil::Utf8ToUtf16(out.version, version);
    const std::u16string lang = Wide(in.language);
    const auto command = [&](const payload::RunDeclaration& r) {
        return u"\"" + folder + u"\\" + r.program + u"\" " + payload::FillPlaceholders(r.arguments, folder, version, lang);
    };
    for (const payload::RunDeclaration& r : declared.runs)
        if (r.when == payload::RunWhen::AfterInstall) b.Add("run", command(r), r.elevated ? u"elevated" : u"as the user");

    // The uninstall: what the record of this install would list.
    for (const payload::RunDeclaration& r : declared.runs)
        if (r.when == payload::RunWhen::BeforeUninstall) b.Remove(command(r), u"run before anything is removed");
    const installengine::InstallRecord record = installengine::PlanInstallRecord(in);
    for (const std::u16string& link : record.shortcuts) b.Remove(link, u"shortcut");
    if (desktop && !record.desktopshortcut.empty()) b.Remove(record.desktopshortcut, u"shortcut");
    if (!record.groupfolder.empty()) b.Remove(record.groupfolder, u"the Start-menu folder, when empty");
    for (const std::u16string& service : record.services) b.Remove(service, u"service, stopped and deleted");
    if (!record.settingsfolder.empty())
        b.Remove(u"%APPDATA%\\" + record.settingsfolder, u"the settings folder, after asking");
    for (const installengine::DeclaredValue& v : plan.values)
        b.Remove(Wide(root + "\\" + v.key) + u"\\" + (v.name.empty() ? u"(default)" : v.name), u"registry value");
    if (!plan.signinname.empty())
        b.Remove(Wide(root + "\\" + installengine::kRunKey) + u"\\" + plan.signinname, u"while it holds the command");
    for (const std::u16string& entry : plan.pathentries) b.Remove(entry, u"PATH entry, when the install added it");
    for (const auto& [name, value] : plan.variables) b.Remove(name, u"variable, while it holds the value; an earlier one put back");
    for (const installengine::PlannedFileType& type : plan.filetypes)
        b.Remove(Wide(root + "\\Software\\Classes\\" + type.progid), u"file type, while it opens this program");
    for (const installengine::PlannedProtocol& protocol : plan.protocols)
        b.Remove(Wide(root + "\\Software\\Classes\\" + protocol.scheme), u"link scheme, while it opens this program");
    b.Remove(folder, u"the program folder: whole when the install created it, else the files it wrote");
    for (const std::u16string& key : record.registrykeys) b.Remove(key, u"registry key");
    b.Remove(uninstaller, u"the uninstaller");
    return true;
}

void PrintEffects(std::ostream& out, const InstallEffects& e) {
    out << e.product << " " << e.version << " (" << e.architecture << ", " << e.scope << ")\n"
        << "program folder: " << Utf16ToUtf8(e.folder) << "\n";
    if (!e.productkey.empty()) out << "registered as: " << e.productkey << "\n";
    for (const auto& [name, checked] : e.tasks)
        out << "task: " << name << (checked ? " (checked by default)" : " (unchecked by default)") << ", shown as chosen\n";
    out << "\ninstall:\n";
    for (const Effect& x : e.install) {
        out << "  " << x.kind << std::string(x.kind.size() < 12 ? 12 - x.kind.size() : 1, ' ') << Utf16ToUtf8(x.target);
        if (x.size >= 0) out << "  " << x.size << " bytes";
        if (!x.detail.empty()) out << (x.kind == "registry" ? " = " : "  ") << Utf16ToUtf8(x.detail);
        out << "\n";
        if (!x.view.empty()) out << "              on 64-bit Windows: " << Utf16ToUtf8(x.view) << "\n";
    }
    out << "\nuninstall removes:\n";
    for (const Effect& x : e.uninstall) out << "  " << Utf16ToUtf8(x.target) << "  (" << Utf16ToUtf8(x.detail) << ")\n";
}

void PrintEffectJson(std::ostream& out, const Effect& x) {
    out << "{\"kind\": " << JsonString(x.kind) << ", \"target\": " << JsonString(Utf16ToUtf8(x.target))
        << ", \"detail\": " << JsonString(Utf16ToUtf8(x.detail));
    if (!x.view.empty()) out << ", \"view64\": " << JsonString(Utf16ToUtf8(x.view));
    if (x.size >= 0) out << ", \"size\": " << x.size;
    if (x.crc32) {
        char hex[9];
        std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(*x.crc32));
        out << ", \"crc32\": \"" << hex << "\"";
    }
    out << "}";
}

void PrintEffectsJson(std::ostream& out, const InstallEffects& e) {
    out << "{\n \"plan\": 1,\n \"product\": " << JsonString(e.product);
    if (!e.productkey.empty()) out << ",\n \"productkey\": " << JsonString(e.productkey);
    out << ",\n \"productversion\": " << JsonString(e.version)
        << ",\n \"scope\": " << JsonString(e.scope) << ",\n \"architecture\": " << JsonString(e.architecture)
        << ",\n \"folder\": " << JsonString(Utf16ToUtf8(e.folder)) << ",\n \"tasks\": [";
    for (std::size_t i = 0; i < e.tasks.size(); ++i)
        out << (i ? ", " : "") << "{\"name\": " << JsonString(e.tasks[i].first)
            << ", \"default\": " << (e.tasks[i].second ? "true" : "false") << "}";
    out << "],\n \"install\": [";
    for (std::size_t i = 0; i < e.install.size(); ++i) {
        out << (i ? ",\n  " : "\n  ");
        PrintEffectJson(out, e.install[i]);
    }
    out << "],\n \"uninstall\": [";
    for (std::size_t i = 0; i < e.uninstall.size(); ++i) {
        out << (i ? ",\n  " : "\n  ");
        PrintEffectJson(out, e.uninstall[i]);
    }
    out << "]\n}\n";
}

}  // namespace tallowin
