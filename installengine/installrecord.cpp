#include "installengine/installrecord.hpp"

#include "payload/declarations.hpp"
#include "payload/entrypath.hpp"
#include "setuputil/utf8.hpp"

#include <algorithm>
#include <iterator>
#include <string_view>

namespace installengine {

namespace {

constexpr char kEnd[] = "end";

bool HasControl(const std::u16string& text) {
    for (char16_t c : text)
        if (c < 0x20 || c == 0x7f) return true;
    return false;
}

// The header line: the mark, a blank, the version in decimal.
std::string Header() { return std::string(kInstallRecordMark) + " " + std::to_string(kInstallRecordVersion); }

// The single-valued lines, in the order they are written.
enum class Field {
    Id, Product, Program, Version, Folder, FolderCreated, StartMenu, Group, Desktop, SettingsFolder, SettingsKey, Count
};
constexpr std::string_view kFieldNames[] = {"id",      "product",     "program",   "version",
                                            "folder",  "foldercreated", "startmenu", "group",
                                            "desktop", "settingsfolder", "settingskey"};
constexpr char16_t kYes[] = u"yes";
constexpr char16_t kNo[] = u"no";
static_assert(std::size(kFieldNames) == static_cast<std::size_t>(Field::Count));

std::u16string* FieldOf(InstallRecord& r, Field f) {
    switch (f) {
        case Field::Product: return &r.productname;
        case Field::Program: return &r.exename;
        case Field::Version: return &r.productversion;
        case Field::Folder: return &r.programfolder;
        case Field::StartMenu: return &r.startmenufolder;
        case Field::Group: return &r.groupfolder;
        case Field::Desktop: return &r.desktopshortcut;
        case Field::SettingsFolder: return &r.settingsfolder;
        case Field::SettingsKey: return &r.settingskey;
        default: return nullptr;
    }
}

// A text value that fits a line: no control character, within the path bound.
bool Writable(const std::u16string& text) { return !HasControl(text) && text.size() <= kMaxRecordPathUnits; }

void Line(std::string& out, std::string_view name, const std::u16string& value) {
    out.append(name);
    out += ' ';
    out += setuputil::Utf16ToUtf8(value);
    out += '\n';
}

}  // namespace

bool IsPlainRelativePath(const std::u16string& path) {
    if (path.empty() || path.size() > kMaxRecordPathUnits) return false;
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = path.find(u'\\', start);
        const std::u16string part = path.substr(start, slash == std::u16string::npos ? std::u16string::npos : slash - start);
        if (payload::CheckFileName(part) != payload::EntryPathProblem::None) return false;
        if (slash == std::u16string::npos) return true;
        start = slash + 1;
    }
}

namespace {

bool SplitRoot(const std::u16string& entry, std::u16string& root, std::u16string& rest) {
    if (entry.size() < 5 || entry[4] != u'\\') return false;
    root = entry.substr(0, 4);
    if (root != u"HKLM" && root != u"HKCU") return false;
    rest = entry.substr(5);
    return true;
}

// The key as the registry calls take it: printable ASCII only.
bool AsciiKey(const std::u16string& key, std::string& out) {
    out.clear();
    for (char16_t c : key) {
        if (c < 0x20 || c > 0x7e) return false;
        out += static_cast<char>(c);
    }
    return payload::IsVendorKey(out);
}

}  // namespace

bool ParseRecordedValue(const std::u16string& entry, RecordedRegistryEntry& out) {
    std::u16string rest;
    if (!SplitRoot(entry, out.root, rest)) return false;
    const std::size_t slash = rest.rfind(u'\\');
    if (slash == std::u16string::npos) return false;
    out.name = rest.substr(slash + 1);
    return payload::IsDeclarableValueName(out.name) && AsciiKey(rest.substr(0, slash), out.key);
}

bool ParseRecordedKey(const std::u16string& entry, RecordedRegistryEntry& out) {
    std::u16string rest;
    out.name.clear();
    return SplitRoot(entry, out.root, rest) && AsciiKey(rest, out.key);
}

std::u16string RecordedKey(const std::u16string& root, const std::string& key) {
    return root + u"\\" + std::u16string(key.begin(), key.end());
}

std::u16string RecordedValue(const std::u16string& root, const std::string& key, const std::u16string& name) {
    return RecordedKey(root, key) + u"\\" + name;
}

bool IsInstallRecordId(const std::string& id) {
    if (id.size() != kInstallRecordIdDigits) return false;
    for (char c : id)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

std::string InstallRecordIdFrom(const unsigned char (&random)[16]) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string id;
    for (unsigned char b : random) {
        id += kDigits[b >> 4];
        id += kDigits[b & 15];
    }
    return id;
}

// The repeated lines of the shell and environment effects: each a text the
// module that writes it takes apart (and checks) again.
struct ListLine {
    std::string_view name;
    std::vector<std::u16string> InstallRecord::*list;
    std::size_t bound;
};
constexpr ListLine kListLines[] = {
    {"pathentry", &InstallRecord::pathentries, kMaxRecordPathEntries},
    {"variable", &InstallRecord::variables, kMaxRecordVariables},
    {"variablebefore", &InstallRecord::variablesbefore, kMaxRecordVariables},
    {"progid", &InstallRecord::progids, kMaxRecordProgIds},
    {"extension", &InstallRecord::extensions, kMaxRecordExtensions},
    {"protocol", &InstallRecord::protocols, kMaxRecordProtocols},
    {"prerequisite", &InstallRecord::prerequisites, kMaxRecordPrerequisites},
    {"beforeuninstall", &InstallRecord::uninstallruns, kMaxRecordUninstallRuns},
};

std::string FormatInstallRecord(const InstallRecord& r) {
    if (!IsInstallRecordId(r.id) || r.programfolder.empty()) return {};
    if (r.folders.size() + r.files.size() > kMaxRecordEntries || r.shortcuts.size() > kMaxRecordShortcuts ||
        r.services.size() > kMaxRecordServices || r.registrykeys.size() > kMaxRecordKeys ||
        r.registryvalues.size() > kMaxRecordValues || r.createdkeys.size() > kMaxRecordCreatedKeys ||
        r.signin.empty() != r.signincommand.empty())
        return {};
    InstallRecord copy = r;  // FieldOf hands out pointers into a record of its own
    std::string out = Header() + "\n";
    out += "id " + r.id + "\n";
    for (std::size_t f = static_cast<std::size_t>(Field::Product); f < static_cast<std::size_t>(Field::Count); ++f) {
        if (static_cast<Field>(f) == Field::FolderCreated) {
            Line(out, kFieldNames[f], r.foldercreated ? kYes : kNo);
            continue;
        }
        const std::u16string& value = *FieldOf(copy, static_cast<Field>(f));
        if (!Writable(value)) return {};
        Line(out, kFieldNames[f], value);
    }
    if (!r.displayname.empty()) {
        if (!Writable(r.displayname)) return {};
        Line(out, "displayname", r.displayname);
    }
    const auto many = [&](std::string_view name, const std::vector<std::u16string>& values, bool relative) {
        for (const std::u16string& value : values) {
            if (!Writable(value) || value.empty() || (relative && !IsPlainRelativePath(value))) return false;
            Line(out, name, value);
        }
        return true;
    };
    if (!many("shortcut", r.shortcuts, false) || !many("service", r.services, false) ||
        !many("key", r.registrykeys, false))
        return {};
    RecordedRegistryEntry entry;
    for (const std::u16string& value : r.registryvalues)
        if (!Writable(value) || !ParseRecordedValue(value, entry)) return {};
    for (const std::u16string& key : r.createdkeys)
        if (!Writable(key) || !ParseRecordedKey(key, entry)) return {};
    if (!many("regvalue", r.registryvalues, false) || !many("regkey", r.createdkeys, false)) return {};
    if (!r.signin.empty()) {
        if (!Writable(r.signin) || !Writable(r.signincommand)) return {};
        Line(out, "signin", r.signin);
        Line(out, "signincommand", r.signincommand);
    }
    if (r.tasks.size() > kMaxRecordTasks) return {};
    for (const auto& [task, chosen] : r.tasks) {
        if (!payload::IsTaskName(task)) return {};
        out += "task " + task + (chosen ? " yes\n" : " no\n");
    }
    for (const ListLine& line : kListLines)
        if ((r.*line.list).size() > line.bound || !many(line.name, r.*line.list, false)) return {};
    if (!many("dir", r.folders, true) || !many("file", r.files, true)) return {};
    out += std::string(kEnd) + "\n";
    for (std::size_t at = 0, next = 0; at < out.size(); at = next + 1) {
        next = out.find('\n', at);
        if (next - at > kMaxInstallRecordLine) return {};
    }
    return out.size() <= kMaxInstallRecordBytes ? out : std::string();
}

ParsedInstallRecord ParseInstallRecord(const std::string& text) {
    ParsedInstallRecord parsed;
    InstallRecord& r = parsed.record;
    const auto fail = [&](std::string why) {
        parsed = {};
        parsed.error = std::move(why);
        return parsed;
    };
    if (text.size() > kMaxInstallRecordBytes) return fail("the record is too large");
    bool seen[static_cast<std::size_t>(Field::Count)] = {};
    bool ended = false;
    std::size_t entries = 0;
    std::size_t at = 0;
    for (std::size_t lineno = 1; at < text.size(); ++lineno) {
        const std::size_t newline = text.find('\n', at);
        if (newline == std::string::npos) return fail("the record ends inside a line");
        std::string line = text.substr(at, newline - at);
        at = newline + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() > kMaxInstallRecordLine) return fail("a line is too long");
        if (ended) return fail("text after the end line");
        if (lineno == 1) {
            if (line != Header()) return fail("not an install record of version " + std::to_string(kInstallRecordVersion));
            continue;
        }
        if (line == kEnd) {
            ended = true;
            continue;
        }
        const std::size_t blank = line.find(' ');
        if (blank == std::string::npos) return fail("a line without a value");
        const std::string_view name(line.data(), blank);
        std::u16string value;
        if (!setuputil::Utf8ToUtf16(line.substr(blank + 1), value)) return fail("malformed UTF-8");
        if (HasControl(value)) return fail("a control character");
        if (value.size() > kMaxRecordPathUnits) return fail("a value is too long");

        bool known = false;
        for (std::size_t f = 0; f < static_cast<std::size_t>(Field::Count); ++f) {
            if (name != kFieldNames[f]) continue;
            known = true;
            if (seen[f]) return fail("a repeated line: " + std::string(name));
            seen[f] = true;
            if (static_cast<Field>(f) == Field::Id) {
                r.id = line.substr(blank + 1);
                if (!IsInstallRecordId(r.id)) return fail("a bad identifier");
            } else if (static_cast<Field>(f) == Field::FolderCreated) {
                // Only the one word makes the folder the product's; anything
                // else leaves its other files alone.
                r.foldercreated = value == kYes;
            } else {
                *FieldOf(r, static_cast<Field>(f)) = value;
            }
        }
        if (known) continue;
        const auto add = [&](std::vector<std::u16string>& list, std::size_t bound) {
            if (list.size() >= bound) return false;
            if (!value.empty()) list.push_back(value);
            return true;
        };
        if (name == "dir" || name == "file") {
            if (++entries > kMaxRecordEntries) return fail("too many entries");
            if (!IsPlainRelativePath(value)) {
                ++parsed.skipped;
                continue;
            }
            (name == "dir" ? r.folders : r.files).push_back(value);
        } else if (name == "shortcut") {
            if (!add(r.shortcuts, kMaxRecordShortcuts)) return fail("too many shortcuts");
        } else if (name == "service") {
            if (!add(r.services, kMaxRecordServices)) return fail("too many services");
        } else if (name == "key") {
            if (!add(r.registrykeys, kMaxRecordKeys)) return fail("too many keys");
        } else if (name == "regvalue" || name == "regkey") {
            // An entry that is no vendor's value or key is never acted on: skipped.
            RecordedRegistryEntry entry;
            const bool isvalue = name == "regvalue";
            std::vector<std::u16string>& list = isvalue ? r.registryvalues : r.createdkeys;
            if (list.size() >= (isvalue ? kMaxRecordValues : kMaxRecordCreatedKeys))
                return fail("too many registry entries");
            if (isvalue ? ParseRecordedValue(value, entry) : ParseRecordedKey(value, entry)) list.push_back(value);
            else ++parsed.skipped;
        } else if (name == "displayname") {
            if (!r.displayname.empty() || value.empty()) return fail("a repeated or empty line: displayname");
            r.displayname = value;
        } else if (name == "signin" || name == "signincommand") {
            std::u16string& field = name == "signin" ? r.signin : r.signincommand;
            if (!field.empty() || value.empty()) return fail("a repeated or empty line: " + std::string(name));
            field = value;
        } else if (name == "task") {
            const std::string words = line.substr(blank + 1);
            const std::size_t space = words.find(' ');
            const std::string task = words.substr(0, space);
            const std::string answer = space == std::string::npos ? "" : words.substr(space + 1);
            if (r.tasks.size() >= kMaxRecordTasks) return fail("too many tasks");
            if (payload::IsTaskName(task) && (answer == "yes" || answer == "no")) r.tasks.emplace_back(task, answer == "yes");
            else ++parsed.skipped;
        } else if (const auto list = std::find_if(std::begin(kListLines), std::end(kListLines),
                                                  [&](const ListLine& l) { return l.name == name; });
                   list != std::end(kListLines)) {
            if (!add(r.*list->list, list->bound)) return fail("too many lines: " + std::string(name));
        }
        // Any other name is a line of a later version: skipped.
    }
    if (!ended) return fail("no end line");
    if (!seen[static_cast<std::size_t>(Field::Id)]) return fail("no identifier");
    if (r.programfolder.empty()) return fail("no program folder");
    if (r.signin.empty() != r.signincommand.empty()) return fail("signin without its command");
    parsed.ok = true;
    return parsed;
}

}  // namespace installengine
