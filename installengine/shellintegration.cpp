#include "installengine/shellintegration.hpp"

#include "installengine/pathlist.hpp"
#include "installengine/registration.hpp"
#include "installengine/uninstallguard.hpp"
#include "payload/declarations.hpp"
#include "setuputil/codepage.hpp"
#include "setuputil/namefold.hpp"
#include "setuputil/registry.hpp"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>

namespace installengine {

using namespace setuputil;

namespace {

constexpr char kMachineEnvironment[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
constexpr char kUserEnvironment[] = "Environment";
constexpr char16_t kPathName[] = u"Path";
constexpr char kClasses[] = "Software\\Classes\\";
constexpr char16_t kUrlProtocol[] = u"URL Protocol";
constexpr char16_t kFlagDefault = u'd', kFlagKey = u'k';

std::u16string Wide(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }
std::string Narrow(const std::u16string& ascii) {
    std::string out;
    for (char16_t c : ascii) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

RegRoot EnvironmentRoot(payload::InstallScope scope) {
    return scope == payload::InstallScope::User ? RegRoot::CurrentUser : RegRoot::LocalMachine;
}
const char* EnvironmentKey(payload::InstallScope scope) {
    return scope == payload::InstallScope::User ? kUserEnvironment : kMachineEnvironment;
}

// A string value's text; false for a missing value or one of another type.
bool ReadText(RegRoot root, const std::string& key, const std::u16string& name, std::u16string& text,
              std::uint32_t* type = nullptr) {
    RegValueCopy value;
    if (!ReadRegValue(root, key, name, value) || (value.type != REG_SZ && value.type != REG_EXPAND_SZ)) return false;
    text = RegDataText(value.data);
    if (type) *type = value.type;
    return true;
}

void WriteText(RegRoot root, const std::string& key, const std::u16string& name, const std::u16string& text,
               std::uint32_t type, UpdateJournal* journal) {
    if (journal && journal->Active()) journal->SnapshotValue(root, key, name);
    if (!WriteKeyValues(root, key, {RegValueCopy{name, type, RegTextData(text)}}))
        throw RegistryError("Failed to set data for '" + WideToAnsi(name.empty() ? u"(default)" : name) + "'");
}

void DeleteValue(RegRoot root, const std::string& key, const std::u16string& name, UpdateJournal* journal) {
    if (journal && journal->Active()) journal->SnapshotValue(root, key, name);
    DeleteRegValue(root, key, name);
}

// "a|b|c" taken apart at the first `count` - 1 bars.
std::vector<std::u16string> Fields(const std::u16string& line, std::size_t count) {
    std::vector<std::u16string> fields;
    std::size_t start = 0;
    while (fields.size() + 1 < count) {
        const std::size_t bar = line.find(u'|', start);
        if (bar == std::u16string::npos) return {};
        fields.push_back(line.substr(start, bar - start));
        start = bar + 1;
    }
    fields.push_back(line.substr(start));
    return fields;
}

struct ClassLine {
    std::string name;  // ProgID or scheme, checked
    std::u16string command;
};
bool ParseClassLine(const std::u16string& line, bool scheme, ClassLine& out) {
    const std::vector<std::u16string> f = Fields(line, 2);
    if (f.size() != 2 || f[1].empty()) return false;
    out = {Narrow(f[0]), f[1]};
    return Wide(out.name) == f[0] && (scheme ? payload::IsScheme(out.name) : payload::IsProgId(out.name));
}

struct ExtensionLine {
    std::string extension, progid;
    bool setdefault = false, madekey = false;
};
bool ParseExtensionLine(const std::u16string& line, ExtensionLine& out) {
    const std::vector<std::u16string> f = Fields(line, 3);
    if (f.size() != 3) return false;
    out = {Narrow(f[0]), Narrow(f[1]), f[2].find(kFlagDefault) != std::u16string::npos,
           f[2].find(kFlagKey) != std::u16string::npos};
    return Wide(out.extension) == f[0] && Wide(out.progid) == f[1] && payload::IsExtension(out.extension) &&
           payload::IsProgId(out.progid);
}

bool ParseVariableLine(const std::u16string& line, std::u16string& name, std::u16string& value) {
    const std::size_t equals = line.find(u'=');
    if (equals == std::u16string::npos) return false;
    name = line.substr(0, equals);
    value = line.substr(equals + 1);
    return payload::IsEnvironmentName(name);
}

std::string ClassKey(const std::string& name) { return kClasses + name; }
std::string OpenCommandKey(const std::string& name) { return ClassKey(name) + "\\shell\\open\\command"; }

bool ClassExistsAnywhere(const std::string& name) {
    return RegKeyExists(RegRoot::LocalMachine, ClassKey(name)) || RegKeyExists(RegRoot::CurrentUser, ClassKey(name));
}

// The extension's default in the view a user's shell sees (theirs over the
// machine's); "" when neither has one.
std::u16string ExtensionDefault(const std::string& extension) {
    std::u16string text;
    if (ReadText(RegRoot::CurrentUser, ClassKey(extension), u"", text) && !text.empty()) return text;
    if (ReadText(RegRoot::LocalMachine, ClassKey(extension), u"", text) && !text.empty()) return text;
    return u"";
}

std::vector<ClassLine> ClassLines(const std::vector<std::u16string>& lines, bool scheme) {
    std::vector<ClassLine> out;
    for (const std::u16string& line : lines)
        if (ClassLine item; ParseClassLine(line, scheme, item)) out.push_back(std::move(item));
    return out;
}

std::vector<ExtensionLine> ExtensionLines(const std::vector<std::u16string>& lines) {
    std::vector<ExtensionLine> out;
    for (const std::u16string& line : lines)
        if (ExtensionLine item; ParseExtensionLine(line, item)) out.push_back(std::move(item));
    return out;
}

bool HasClass(const std::vector<ClassLine>& lines, const std::string& name) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const ClassLine& l) { return SameName(Wide(l.name), Wide(name)); });
}

void Broadcast(bool environment, bool associations) {
    if (environment) {
        DWORD_PTR result = 0;
        SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"Environment"),
                            SMTO_ABORTIFHUNG, 5000, &result);
    }
    if (associations) SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}

}  // namespace

void RecordShell(InstallHost& host, const DeclaredPlan& plan, payload::InstallScope scope,
                 const InstallRecord* installed, InstallRecord& record) {
    const RegRoot envroot = EnvironmentRoot(scope);
    const std::string envkey = EnvironmentKey(scope);
    record.pathentries.clear();
    record.variables.clear();
    record.variablesbefore.clear();
    record.progids.clear();
    record.extensions.clear();
    record.protocols.clear();
    const InstallRecord none;
    const InstallRecord& old = installed ? *installed : none;

    std::u16string path;
    ReadText(envroot, envkey, kPathName, path);
    std::u16string grown = path;
    for (const std::u16string& entry : plan.pathentries) {
        const bool ours = std::any_of(old.pathentries.begin(), old.pathentries.end(),
                                      [&](const std::u16string& e) { return SameName(e, entry); });
        if (!ours && PathListHas(grown, entry)) continue;  // a user's own entry, never ours
        if (!PathListHas(grown, entry)) {
            if (PathListAppend(grown, entry).size() > kMaxPathValue) {
                host.Log(u"PATH entry skipped: " + entry + u" would make PATH longer than the system allows");
                continue;
            }
            grown = PathListAppend(grown, entry);
        }
        record.pathentries.push_back(entry);
    }

    for (const auto& [name, value] : plan.variables) {
        record.variables.push_back(name + u"=" + value);
        bool carried = false;
        for (const std::u16string& line : old.variables) {
            std::u16string oldname, oldvalue;
            carried = carried || (ParseVariableLine(line, oldname, oldvalue) && SameName(oldname, name));
        }
        if (carried) {
            // The value before the first install that set it.
            for (const std::u16string& line : old.variablesbefore) {
                std::u16string oldname, oldvalue;
                if (ParseVariableLine(line, oldname, oldvalue) && SameName(oldname, name))
                    record.variablesbefore.push_back(line);
            }
        } else if (std::u16string before; ReadText(envroot, envkey, name, before)) {
            record.variablesbefore.push_back(name + u"=" + before);
        }
    }

    const std::vector<ClassLine> oldclasses = ClassLines(old.progids, false);
    const std::vector<ClassLine> oldschemes = ClassLines(old.protocols, true);
    const std::vector<ExtensionLine> oldextensions = ExtensionLines(old.extensions);
    const RegRoot root = RegistrationRoot(scope);
    for (const PlannedFileType& type : plan.filetypes) {
        if (!HasClass(oldclasses, type.progid) && RegKeyExists(root, ClassKey(type.progid))) {
            host.Log(u"file type left alone: " + Wide(type.progid) + u" is registered by another program");
            continue;
        }
        record.progids.push_back(Wide(type.progid) + u"|" + type.verbs.front().second);
        for (const std::string& extension : type.extensions) {
            const auto carried = std::find_if(oldextensions.begin(), oldextensions.end(), [&](const ExtensionLine& e) {
                return e.extension == extension && SameName(Wide(e.progid), Wide(type.progid));
            });
            const std::u16string current = ExtensionDefault(extension);
            bool setdefault = current.empty() || (carried != oldextensions.end() && carried->setdefault &&
                                                  SameName(current, Wide(type.progid)));
            const bool madekey = carried != oldextensions.end() ? carried->madekey : !RegKeyExists(root, ClassKey(extension));
            if (!setdefault) host.Log(u"file type " + Wide(extension) + u" keeps its default: " + current);
            std::u16string flags;
            if (setdefault) flags += kFlagDefault;
            if (madekey) flags += kFlagKey;
            record.extensions.push_back(Wide(extension) + u"|" + Wide(type.progid) + u"|" + flags);
        }
    }
    for (const PlannedProtocol& protocol : plan.protocols) {
        if (!HasClass(oldschemes, protocol.scheme) && ClassExistsAnywhere(protocol.scheme)) {
            host.Log(u"link scheme left alone: " + Wide(protocol.scheme) + u": is registered by another program");
            continue;
        }
        record.protocols.push_back(Wide(protocol.scheme) + u"|" + protocol.command);
    }
}

void ApplyShell(InstallHost& host, const DeclaredPlan& plan, const InstallRecord& record, payload::InstallScope scope,
                UpdateJournal& journal) {
    const RegRoot envroot = EnvironmentRoot(scope);
    const std::string envkey = EnvironmentKey(scope);
    bool environment = false, associations = false;

    // PATH is read and written whole, its type kept (REG_EXPAND_SZ when new).
    std::u16string path;
    std::uint32_t pathtype = REG_EXPAND_SZ;
    ReadText(envroot, envkey, kPathName, path, &pathtype);
    std::u16string grown = path;
    for (const std::u16string& entry : record.pathentries)
        if (!PathListHas(grown, entry)) {
            host.Log(u"PATH: " + entry);
            grown = PathListAppend(grown, entry);
        }
    if (grown != path) {
        WriteText(envroot, envkey, kPathName, grown, pathtype, &journal);
        environment = true;
    }
    for (const std::u16string& line : record.variables) {
        std::u16string name, value;
        if (!ParseVariableLine(line, name, value)) continue;
        host.Log(u"environment: " + name + u"=" + value);
        WriteText(envroot, envkey, name, value, value.find(u'%') != std::u16string::npos ? REG_EXPAND_SZ : REG_SZ,
                  &journal);
        environment = true;
    }

    const RegRoot root = RegistrationRoot(scope);
    const std::vector<ClassLine> classes = ClassLines(record.progids, false);
    const std::vector<ExtensionLine> extensions = ExtensionLines(record.extensions);
    for (const PlannedFileType& type : plan.filetypes) {
        if (!HasClass(classes, type.progid)) continue;
        const std::string key = ClassKey(type.progid);
        host.Log(u"file type: " + Wide(type.progid));
        WriteText(root, key, u"", type.description, REG_SZ, &journal);
        if (!type.icon.empty()) WriteText(root, key + "\\DefaultIcon", u"", type.icon, REG_SZ, &journal);
        for (const auto& [verb, command] : type.verbs)
            WriteText(root, key + "\\shell\\" + verb + "\\command", u"", command, REG_SZ, &journal);
        associations = true;
    }
    for (const ExtensionLine& e : extensions) {
        const std::string key = ClassKey(e.extension);
        host.Log(u"file type: " + Wide(e.extension) + u" " + Wide(e.progid));
        if (journal.Active()) journal.SnapshotValue(root, key + "\\OpenWithProgids", Wide(e.progid));
        if (!WriteKeyValues(root, key + "\\OpenWithProgids", {RegValueCopy{Wide(e.progid), REG_NONE, {}}}))
            throw RegistryError("Failed to set data for '" + e.progid + "'");
        if (e.setdefault) WriteText(root, key, u"", Wide(e.progid), REG_SZ, &journal);
        associations = true;
    }
    const std::vector<ClassLine> schemes = ClassLines(record.protocols, true);
    for (const PlannedProtocol& protocol : plan.protocols) {
        if (!HasClass(schemes, protocol.scheme)) continue;
        const std::string key = ClassKey(protocol.scheme);
        host.Log(u"link scheme: " + Wide(protocol.scheme));
        WriteText(root, key, u"", u"URL:" + protocol.description, REG_SZ, &journal);
        WriteText(root, key, kUrlProtocol, u"", REG_SZ, &journal);
        WriteText(root, key + "\\DefaultIcon", u"", protocol.icon, REG_SZ, &journal);
        WriteText(root, key + "\\shell\\open\\command", u"", protocol.command, REG_SZ, &journal);
        associations = true;
    }
    Broadcast(environment, associations);
}

void UndoShell(InstallHost& host, const InstallRecord& old, const InstallRecord* keep, payload::InstallScope scope,
               UpdateJournal* journal) {
    const InstallRecord none;
    const InstallRecord& kept = keep ? *keep : none;
    const RegRoot envroot = EnvironmentRoot(scope);
    const std::string envkey = EnvironmentKey(scope);
    bool environment = false, associations = false;

    std::u16string path;
    std::uint32_t pathtype = REG_EXPAND_SZ;
    if (ReadText(envroot, envkey, kPathName, path, &pathtype)) {
        std::u16string shrunk = path;
        // Only a folder of the product's own: the record is untrusted, and
        // the install adds no other entry.
        for (const std::u16string& entry : old.pathentries)
            if (IsInside(entry, old.programfolder) &&
                !std::any_of(kept.pathentries.begin(), kept.pathentries.end(),
                             [&](const std::u16string& e) { return SameName(e, entry); }) &&
                PathListRemove(shrunk, entry))
                host.Log(u"PATH entry removed: " + entry);
        if (shrunk != path) {
            WriteText(envroot, envkey, kPathName, shrunk, pathtype, journal);
            environment = true;
        }
    }
    for (const std::u16string& line : old.variables) {
        std::u16string name, value, current;
        if (!ParseVariableLine(line, name, value)) continue;
        const bool stays = std::any_of(kept.variables.begin(), kept.variables.end(), [&](const std::u16string& l) {
            std::u16string n, v;
            return ParseVariableLine(l, n, v) && SameName(n, name);
        });
        // Only while it holds what the install wrote: a value set since is the user's.
        if (stays || !ReadText(envroot, envkey, name, current) || current != value) continue;
        std::u16string before;
        for (const std::u16string& b : old.variablesbefore) {
            std::u16string n, v;
            if (ParseVariableLine(b, n, v) && SameName(n, name)) before = b;
        }
        std::u16string n, earlier;
        if (!before.empty() && ParseVariableLine(before, n, earlier)) {
            host.Log(u"environment put back: " + name + u"=" + earlier);
            WriteText(envroot, envkey, name, earlier,
                      earlier.find(u'%') != std::u16string::npos ? REG_EXPAND_SZ : REG_SZ, journal);
        } else {
            host.Log(u"environment removed: " + name);
            DeleteValue(envroot, envkey, name, journal);
        }
        environment = true;
    }

    const RegRoot root = RegistrationRoot(scope);
    const std::vector<ExtensionLine> keptextensions = ExtensionLines(kept.extensions);
    for (const ExtensionLine& e : ExtensionLines(old.extensions)) {
        if (std::any_of(keptextensions.begin(), keptextensions.end(), [&](const ExtensionLine& k) {
                return k.extension == e.extension && SameName(Wide(k.progid), Wide(e.progid));
            }))
            continue;
        const std::string key = ClassKey(e.extension);
        DeleteValue(root, key + "\\OpenWithProgids", Wide(e.progid), journal);
        std::u16string current;
        if (e.setdefault && ReadText(root, key, u"", current) && SameName(current, Wide(e.progid)))
            DeleteValue(root, key, u"", journal);
        DeleteEmptyRegKey(root, key + "\\OpenWithProgids");
        if (e.madekey) DeleteEmptyRegKey(root, key);
        host.Log(u"file type removed: " + Wide(e.extension) + u" " + Wide(e.progid));
        associations = true;
    }
    const auto dropClasses = [&](const std::vector<std::u16string>& oldlines, const std::vector<std::u16string>& keptlines,
                                 bool scheme) {
        const std::vector<ClassLine> keptclasses = ClassLines(keptlines, scheme);
        for (const ClassLine& c : ClassLines(oldlines, scheme)) {
            std::u16string command;
            // Still ours only while it opens what the install made it open.
            if (HasClass(keptclasses, c.name) || !ReadText(root, OpenCommandKey(c.name), u"", command) ||
                command != c.command)
                continue;
            if (journal && journal->Active())
                for (const std::string& key : {ClassKey(c.name), ClassKey(c.name) + "\\DefaultIcon", OpenCommandKey(c.name)})
                    journal->SnapshotKey(root, key);
            host.Log((scheme ? u"link scheme removed: " : u"file type removed: ") + Wide(c.name));
            DeleteRegTree(root, ClassKey(c.name));
            associations = true;
        }
    };
    dropClasses(old.progids, kept.progids, false);
    dropClasses(old.protocols, kept.protocols, true);
    Broadcast(environment, associations);
}

}  // namespace installengine
