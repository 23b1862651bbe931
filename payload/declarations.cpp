#include "payload/declarations.hpp"
#include "payload/declarationtext.hpp"

#include "payload/texttable.hpp"
#include "setuputil/namefold.hpp"
#include "setuputil/utf8.hpp"

#include <algorithm>
#include <array>
#include <set>
#include <string_view>

namespace payload {

using namespace declarationtext;

namespace declarationtext {

std::string Header(int version) { return std::string(kDeclarationsMark) + " " + std::to_string(version); }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsText(const std::u16string& text) {
    if (text.size() > kMaxDeclarationText) return false;
    for (char16_t c : text)
        if (c < 0x20 || c == 0x7f) return false;
    return true;
}

std::vector<std::string> Split(const std::string& line, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = line.find(separator, start);
        parts.push_back(line.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) return parts;
        start = at + 1;
    }
}

bool ParseNumber(const std::string& text, std::uint64_t limit, std::uint64_t& out) {
    if (text.empty() || text.size() > 20) return false;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
        if (value > (limit - digit) / 10) return false;
        value = value * 10 + digit;
    }
    out = value;
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// One value of `d` as the line's last fields; false when it does not fit its type.
bool ValueFields(const RegistryDeclaration& d, std::vector<std::string>& fields) {
    switch (d.type) {
        case RegistryType::String:
        case RegistryType::Expandable:
        case RegistryType::MultiString:
            if (d.type != RegistryType::MultiString && d.texts.size() != 1) return false;
            if (d.texts.size() > kMaxMultiStringItems) return false;
            for (const std::u16string& text : d.texts) {
                // An empty item would end a multi-string value early.
                if (!IsText(text) || (d.type == RegistryType::MultiString && text.empty())) return false;
                fields.push_back(setuputil::Utf16ToUtf8(text));
            }
            return true;
        case RegistryType::Dword:
            if (d.number > 0xFFFFFFFFu) return false;
            [[fallthrough]];
        case RegistryType::Qword:
            fields.push_back(std::to_string(d.number));
            return true;
        case RegistryType::Binary: {
            if (d.bytes.size() > kMaxDeclarationBinary) return false;
            static constexpr char kHex[] = "0123456789abcdef";
            std::string hex;
            for (std::uint8_t b : d.bytes) {
                hex += kHex[b >> 4];
                hex += kHex[b & 15];
            }
            fields.push_back(hex);
            return true;
        }
    }
    return false;
}

// `fields` from the value's first field on.
bool ParseValue(const std::vector<std::string>& fields, RegistryDeclaration& d) {
    const std::size_t count = fields.size();
    auto text = [](const std::string& utf8, std::u16string& out) {
        return setuputil::Utf8ToUtf16(utf8, out) && IsText(out);
    };
    switch (d.type) {
        case RegistryType::String:
        case RegistryType::Expandable:
        case RegistryType::MultiString:
            if (d.type != RegistryType::MultiString && count != 1) return false;
            if (d.type == RegistryType::MultiString && count == 1 && fields[0].empty()) return true;  // no items
            if (count > kMaxMultiStringItems) return false;
            for (std::size_t i = 0; i < fields.size(); ++i) {
                std::u16string item;
                if (!text(fields[i], item) || (d.type == RegistryType::MultiString && item.empty())) return false;
                d.texts.push_back(std::move(item));
            }
            return true;
        case RegistryType::Dword:
            return count == 1 && ParseNumber(fields[0], 0xFFFFFFFFu, d.number);
        case RegistryType::Qword:
            return count == 1 && ParseNumber(fields[0], ~std::uint64_t{0}, d.number);
        case RegistryType::Binary: {
            const std::string& hex = fields[0];
            if (count != 1 || hex.size() % 2 != 0 || hex.size() / 2 > kMaxDeclarationBinary) return false;
            for (std::size_t i = 0; i < hex.size(); i += 2) {
                const int high = HexDigit(hex[i]), low = HexDigit(hex[i + 1]);
                if (high < 0 || low < 0) return false;
                d.bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
            }
            return true;
        }
    }
    return false;
}

// How many keys the values need, "Software\<Vendor>" and below, letter case aside.
std::size_t DeclaredKeyCount(const std::vector<RegistryDeclaration>& registry) {
    std::set<std::string> keys;
    for (const RegistryDeclaration& d : registry) {
        std::string lower;
        for (char c : d.key) lower += Lower(c);
        for (std::size_t at = lower.find('\\', lower.find('\\') + 1);; at = lower.find('\\', at + 1)) {
            keys.insert(lower.substr(0, at));
            if (at == std::string::npos) break;
        }
    }
    return keys.size();
}

}  // namespace declarationtext

std::string CodesText(const std::vector<std::uint32_t>& codes) {
    std::string out;
    for (std::uint32_t code : codes) out += (out.empty() ? "" : ",") + std::to_string(code);
    return out;
}

std::string RunFlagsText(const RunDeclaration& run) {
    std::string out;
    if (run.wait) out += 'w';
    if (run.failonerror) out += 'f';
    if (run.hidden) out += 'h';
    if (run.elevated) out += 'e';
    return out;
}

bool ParseCodes(const std::string& text, std::vector<std::uint32_t>& codes) {
    const std::vector<std::string> parts = Split(text, ',');
    if (parts.size() > kMaxSuccessCodes) return false;
    for (const std::string& part : parts) {
        std::uint64_t code = 0;
        if (!ParseNumber(part, 0xFFFFFFFFu, code)) return false;
        codes.push_back(static_cast<std::uint32_t>(code));
    }
    return true;
}

bool ParseRunFlags(const std::string& text, RunDeclaration& run) {
    run.wait = run.failonerror = run.hidden = run.elevated = false;
    for (char c : text) {
        bool* flag = c == 'w' ? &run.wait : c == 'f' ? &run.failonerror : c == 'h' ? &run.hidden : c == 'e' ? &run.elevated : nullptr;
        if (flag == nullptr || *flag) return false;
        *flag = true;
    }
    return RunFlagsText(run) == text;  // one order only: the record has one text
}

const char* RunWhenName(RunWhen when) { return kRunWhenNames[static_cast<std::size_t>(when)]; }

bool RunWhenFromName(const std::string& name, RunWhen& when) {
    for (std::size_t i = 0; i < kRunWhenNames.size(); ++i)
        if (name == kRunWhenNames[i]) {
            when = static_cast<RunWhen>(i);
            return true;
        }
    return false;
}

bool IsVersionText(const std::string& text) {
    const std::vector<std::string> parts = Split(text, '.');
    if (parts.size() > 4) return false;
    for (const std::string& part : parts) {
        std::uint64_t number = 0;
        if (!ParseNumber(part, 0xFFFFFFFFu, number)) return false;
    }
    return true;
}

int CompareDottedVersions(const std::u16string& a, const std::u16string& b) {
    // Each side's numbers, read one at a time; leading zeros dropped so a
    // number of any length compares by its digits.
    struct Reader {
        const std::u16string& text;
        std::size_t at = 0;
        bool done = false;
        explicit Reader(const std::u16string& t) : text(t) {
            if (!text.empty() && (text[0] == u'v' || text[0] == u'V')) at = 1;
        }
        std::u16string Next() {
            if (done || at >= text.size() || text[at] < u'0' || text[at] > u'9') {
                done = true;
                return {};
            }
            while (at + 1 < text.size() && text[at] == u'0' && text[at + 1] >= u'0' && text[at + 1] <= u'9') ++at;
            std::u16string digits;
            while (at < text.size() && text[at] >= u'0' && text[at] <= u'9') digits += text[at++];
            if (at < text.size() && text[at] == u'.') ++at;
            else done = true;
            return digits;
        }
    };
    Reader left(a), right(b);
    while (!left.done || !right.done) {
        std::u16string x = left.Next(), y = right.Next();
        if (x.empty()) x = u"0";
        if (y.empty()) y = u"0";
        if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

bool IsCheckKey(const std::u16string& where) {
    if (where.size() > kMaxRegistryKeyPath || where.size() < 6) return false;
    const std::u16string root = where.substr(0, 5);
    if (root != u"HKLM\\" && root != u"HKCU\\") return false;
    std::size_t namelength = 0;
    for (std::size_t i = 5; i < where.size(); ++i) {
        const char16_t c = where[i];
        if (c == u'\\') {
            if (namelength == 0) return false;
            namelength = 0;
        } else if (c < 0x20 || c > 0x7e || ++namelength > kMaxRegistryKeyName) {
            return false;
        }
    }
    return namelength != 0;
}

const char* RegistryTypeName(RegistryType type) { return kTypeNames[static_cast<std::size_t>(type)]; }

bool RegistryTypeFromName(const std::string& name, RegistryType& type) {
    for (std::size_t i = 0; i < kTypeNames.size(); ++i)
        if (name == kTypeNames[i]) {
            type = static_cast<RegistryType>(i);
            return true;
        }
    return false;
}

namespace declarationtext {

bool IsCaption(const std::u16string& text) { return !text.empty() && IsText(text); }

template <typename List, typename Key>
bool Unique(const List& list, Key key) {
    for (std::size_t i = 0; i < list.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (setuputil::SameName(key(list[i]), key(list[j]))) return false;
    return true;
}

std::u16string Wide(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// Every rule a whole set of declarations keeps; "" when it keeps them all.
std::string Check(const Declarations& d) {
    if (d.registry.size() > kMaxRegistryDeclarations) return "too many registry values";
    if (DeclaredKeyCount(d.registry) > kMaxDeclaredKeys) return "the values lie in more than 256 keys";
    if (d.tasks.size() > kMaxTasks) return "more than 16 tasks";
    if (d.path.size() > kMaxPathDeclarations) return "more than 16 PATH entries";
    if (d.environment.size() > kMaxEnvironmentDeclarations) return "more than 32 variables";
    if (d.filetypes.size() > kMaxFileTypes) return "more than 32 file types";
    if (d.protocols.size() > kMaxProtocols) return "more than 16 link schemes";
    for (const TaskDeclaration& t : d.tasks) {
        if (!IsTaskName(t.name)) return "task name \"" + t.name + "\" is not a lower-case name";
        if (t.text.empty() ? t.name != kDesktopIconTask : !IsText(t.text)) return "task " + t.name + " has no usable text";
        if (t.texts.size() > kMaxTaskTexts) return "task " + t.name + " has too many languages";
        for (const auto& [code, text] : t.texts)
            if (CanonicalLanguageCode(code) != code || !IsCaption(text))
                return "task " + t.name + " has a bad text for \"" + code + "\"";
        if (!Unique(t.texts, [](const auto& e) { return Wide(e.first); })) return "task " + t.name + " repeats a language";
    }
    if (!Unique(d.tasks, [](const TaskDeclaration& t) { return Wide(t.name); })) return "a task is declared twice";
    const auto known = [&](const std::string& task) {
        return task.empty() ||
               std::any_of(d.tasks.begin(), d.tasks.end(), [&](const TaskDeclaration& t) { return t.name == task; });
    };
    for (const RegistryDeclaration& r : d.registry) {
        std::string why;
        if (!IsVendorKey(r.key, &why)) return "registry key " + r.key + " " + why;
        if (!IsDeclarableValueName(r.name)) return "registry value name in " + r.key + " cannot be carried";
        std::vector<std::string> fields;
        if (!ValueFields(r, fields)) return "registry value in " + r.key + " does not fit its type";
        if (!known(r.task)) return "registry value in " + r.key + " names an unknown task \"" + r.task + "\"";
    }
    if (d.startatsignin && (!IsText(d.signinarguments) || !known(d.signintask)))
        return "startatsignin: bad arguments or an unknown task";
    for (const PathDeclaration& p : d.path)
        if (!IsProductRelativePath(p.folder, true) || !known(p.task))
            return "PATH entry \"" + setuputil::Utf16ToUtf8(p.folder) + "\" is not a folder of the product";
    if (!Unique(d.path, [](const PathDeclaration& p) { return p.folder; })) return "a PATH entry is given twice";
    for (const EnvironmentDeclaration& e : d.environment)
        if (!IsEnvironmentName(e.name) || !IsText(e.value) || !known(e.task))
            return "variable \"" + setuputil::Utf16ToUtf8(e.name) + "\" cannot be set";
    if (!Unique(d.environment, [](const EnvironmentDeclaration& e) { return e.name; })) return "a variable is given twice";
    const auto command = [](const std::u16string& program, const std::u16string& arguments) {
        return IsProductRelativePath(program, false) && IsText(arguments);
    };
    std::vector<std::string> extensions;
    for (const FileTypeDeclaration& f : d.filetypes) {
        if (!IsProgId(f.progid)) return "ProgID \"" + f.progid + "\" is not one the registry takes (Vendor.Type.1)";
        if (!IsCaption(f.description) || !known(f.task)) return "file type " + f.progid + " has no usable description or an unknown task";
        if (f.extensions.empty() || f.extensions.size() > kMaxExtensionsPerType) return "file type " + f.progid + " has no or too many extensions";
        for (const std::string& e : f.extensions) {
            if (!IsExtension(e)) return "file type " + f.progid + ": \"" + e + "\" is not an extension a product may take";
            extensions.push_back(e);
        }
        if (!f.icon.empty() && !IsProductRelativePath(f.icon, false)) return "file type " + f.progid + " has a bad icon path";
        if (f.iconindex < -65535 || f.iconindex > 65535) return "file type " + f.progid + " has a bad icon index";
        if (f.verbs.empty() || f.verbs.size() > kMaxVerbsPerType) return "file type " + f.progid + " has no or too many verbs";
        for (const VerbDeclaration& v : f.verbs)
            if (!IsVerbName(v.verb) || !command(v.program, v.arguments))
                return "file type " + f.progid + " has a bad verb \"" + v.verb + "\"";
        if (!Unique(f.verbs, [](const VerbDeclaration& v) { return Wide(v.verb); })) return "file type " + f.progid + " repeats a verb";
    }
    if (!Unique(d.filetypes, [](const FileTypeDeclaration& f) { return Wide(f.progid); })) return "a ProgID is given twice";
    if (!Unique(extensions, [](const std::string& e) { return Wide(e); })) return "an extension is given to two file types";
    for (const ProtocolDeclaration& p : d.protocols)
        if (!IsScheme(p.scheme) || !IsCaption(p.description) || !command(p.program, p.arguments) || !known(p.task))
            return "link scheme \"" + p.scheme + "\" cannot be declared";
    if (!Unique(d.protocols, [](const ProtocolDeclaration& p) { return Wide(p.scheme); })) return "a link scheme is given twice";
    if (d.prerequisites.size() > kMaxPrerequisites) return "more than 16 prerequisites";
    const auto codes = [](const std::vector<std::uint32_t>& list) {
        return !list.empty() && list.size() <= kMaxSuccessCodes;
    };
    for (const PrerequisiteDeclaration& p : d.prerequisites) {
        const std::string name = "prerequisite \"" + setuputil::Utf16ToUtf8(p.file) + "\"";
        if (!IsProductRelativePath(p.file, false) || p.file.find(u'\\') != std::u16string::npos)
            return name + " is not a plain file name";
        if (!IsCaption(p.caption) || !IsText(p.arguments) || !IsText(p.unattendedarguments) || !codes(p.successcodes))
            return name + " has no caption, bad arguments or no exit codes";
        if (!p.minversion.empty() && !IsVersionText(p.minversion)) return name + " has a bad minimum version";
        switch (p.check) {
            case PrerequisiteCheck::None:
                if (!p.where.empty() || !p.name.empty() || !p.minversion.empty()) return name + " has a check without a kind";
                break;
            case PrerequisiteCheck::Registry:
                if (!IsCheckKey(p.where) || !IsDeclarableValueName(p.name)) return name + " has a bad registry check";
                break;
            case PrerequisiteCheck::File:
                if (p.where.empty() || !IsText(p.where) || !p.name.empty()) return name + " has a bad file check";
                break;
        }
    }
    if (!Unique(d.prerequisites, [](const PrerequisiteDeclaration& p) { return p.file; })) return "a prerequisite's file is given twice";
    if (d.runs.size() > kMaxRunDeclarations) return "more than 16 programs to run";
    for (const RunDeclaration& r : d.runs)
        if (!IsProductRelativePath(r.program, false) || !IsText(r.arguments) || !codes(r.successcodes) ||
            (r.failonerror && !r.wait))
            return "run \"" + setuputil::Utf16ToUtf8(r.program) + "\" cannot be declared";
    return {};
}

}  // namespace declarationtext

bool ParseDeclarations(const void* data, std::size_t size, Declarations& out, std::string& error) {
    out = {};
    if (data == nullptr || size == 0 || size > kMaxDeclarationsBytes) {
        error = "the declarations record is empty or too large";
        return false;
    }
    const std::string text(static_cast<const char*>(data), size);
    const std::vector<std::string> lines = Split(text, '\n');
    // The text ends in LF: the last part after it is empty.
    const bool version1 = !lines.empty() && lines[0] == Header(1);
    if (lines.size() < 3 || !lines.back().empty() || (!version1 && lines[0] != Header(kDeclarationsVersion)) ||
        lines[lines.size() - 2] != kEnd) {
        error = "the declarations record has another mark or no end";
        return false;
    }
    for (std::size_t i = 1; i + 2 < lines.size(); ++i) {
        const std::string& line = lines[i];
        auto bad = [&](const std::string& why) {
            error = "declarations line " + std::to_string(i + 1) + ": " + why;
            out = {};
            return false;
        };
        if (line.size() > kMaxLine) return bad("too long");
        std::vector<std::string> fields = Split(line, '\t');
        const std::string kind = fields[0];
        // Version 1 had no task field.
        if (version1 && (kind == kRegistryLine || kind == kSigninLine)) fields.insert(fields.begin() + 1, "");
        else if (version1) return bad("unknown line");
        auto text = [&](std::size_t at, std::u16string& result) {
            return at < fields.size() && setuputil::Utf8ToUtf16(fields[at], result) && IsText(result);
        };
        const auto count = [&](std::size_t n) { return fields.size() == n; };
        if (kind == kRegistryLine) {
            if (fields.size() < 6) return bad("too few fields");
            if (out.registry.size() == kMaxRegistryDeclarations) return bad("too many registry values");
            RegistryDeclaration d;
            d.task = fields[1];
            if (!RegistryTypeFromName(fields[2], d.type)) return bad("unknown type");
            d.key = fields[3];
            if (!setuputil::Utf8ToUtf16(fields[4], d.name)) return bad("bad value name");
            if (!ParseValue(std::vector<std::string>(fields.begin() + 5, fields.end()), d))
                return bad("a value that does not fit its type");
            out.registry.push_back(std::move(d));
        } else if (kind == kSigninLine) {
            if (out.startatsignin || !count(3) || !text(2, out.signinarguments))
                return bad("a repeated or malformed startatsignin");
            out.signintask = fields[1];
            out.startatsignin = true;
        } else if (kind == kTaskLine) {
            TaskDeclaration t;
            if (!count(4) || (fields[2] != "0" && fields[2] != "1") || !text(3, t.text) || out.tasks.size() == kMaxTasks)
                return bad("a malformed task");
            t.name = fields[1];
            t.checked = fields[2] == "1";
            out.tasks.push_back(std::move(t));
        } else if (kind == kTaskTextLine) {
            std::u16string caption;
            if (!count(4) || out.tasks.empty() || out.tasks.back().name != fields[1] || !text(3, caption) ||
                out.tasks.back().texts.size() == kMaxTaskTexts)
                return bad("a task text that follows no task");
            out.tasks.back().texts.emplace_back(fields[2], caption);
        } else if (kind == kPathLine) {
            PathDeclaration p;
            if (!count(3) || !text(2, p.folder) || out.path.size() == kMaxPathDeclarations) return bad("a malformed path");
            p.task = fields[1];
            out.path.push_back(std::move(p));
        } else if (kind == kEnvironmentLine) {
            EnvironmentDeclaration e;
            if (!count(4) || !text(2, e.name) || !text(3, e.value) || out.environment.size() == kMaxEnvironmentDeclarations)
                return bad("a malformed variable");
            e.task = fields[1];
            out.environment.push_back(std::move(e));
        } else if (kind == kFileTypeLine) {
            FileTypeDeclaration f;
            std::uint64_t index = 0;
            const bool negative = count(7) && !fields[5].empty() && fields[5][0] == '-';
            if (!count(7) || !text(3, f.description) || !text(4, f.icon) ||
                !ParseNumber(fields[5].substr(negative ? 1 : 0), 65535, index) || out.filetypes.size() == kMaxFileTypes)
                return bad("a malformed file type");
            f.task = fields[1];
            f.progid = fields[2];
            f.iconindex = negative ? -static_cast<std::int32_t>(index) : static_cast<std::int32_t>(index);
            f.extensions = Split(fields[6], ',');
            if (f.extensions.size() > kMaxExtensionsPerType) return bad("too many extensions");
            out.filetypes.push_back(std::move(f));
        } else if (kind == kVerbLine) {
            VerbDeclaration v;
            if (!count(4) || out.filetypes.empty() || !text(2, v.program) || !text(3, v.arguments) ||
                out.filetypes.back().verbs.size() == kMaxVerbsPerType)
                return bad("a verb that follows no file type");
            v.verb = fields[1];
            out.filetypes.back().verbs.push_back(std::move(v));
        } else if (kind == kProtocolLine) {
            ProtocolDeclaration p;
            if (!count(6) || !text(3, p.description) || !text(4, p.program) || !text(5, p.arguments) ||
                out.protocols.size() == kMaxProtocols)
                return bad("a malformed link scheme");
            p.task = fields[1];
            p.scheme = fields[2];
            out.protocols.push_back(std::move(p));
        } else if (kind == kPrerequisiteLine) {
            PrerequisiteDeclaration p;
            if (!count(10) || !text(1, p.file) || !text(2, p.caption) || !text(3, p.arguments) ||
                !text(4, p.unattendedarguments) || !ParseCodes(fields[5], p.successcodes) || !text(7, p.where) ||
                !text(8, p.name) || out.prerequisites.size() == kMaxPrerequisites)
                return bad("a malformed prerequisite");
            const auto check = std::find(kCheckNames.begin(), kCheckNames.end(), fields[6]);
            if (check == kCheckNames.end()) return bad("an unknown prerequisite check");
            p.check = static_cast<PrerequisiteCheck>(check - kCheckNames.begin());
            p.minversion = fields[9];
            out.prerequisites.push_back(std::move(p));
        } else if (kind == kRunLine) {
            RunDeclaration r;
            if (!count(6) || !RunWhenFromName(fields[1], r.when) || !text(2, r.program) || !text(3, r.arguments) ||
                !ParseCodes(fields[4], r.successcodes) || !ParseRunFlags(fields[5], r) ||
                out.runs.size() == kMaxRunDeclarations)
                return bad("a malformed run");
            out.runs.push_back(std::move(r));
        } else {
            return bad("unknown line");
        }
    }
    if (std::string why = Check(out); !why.empty()) {
        error = "the declarations break a rule: " + why;
        out = {};
        return false;
    }
    return true;
}

std::u16string FillPlaceholders(const std::u16string& text, const std::u16string& app, const std::u16string& version,
                                const std::u16string& lang) {
    static constexpr std::u16string_view kApp = u"{app}", kVersion = u"{version}", kLang = u"{lang}";
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        const std::u16string_view rest = std::u16string_view(text).substr(i);
        if (rest.substr(0, kApp.size()) == kApp) {
            out += app;
            i += kApp.size();
        } else if (rest.substr(0, kVersion.size()) == kVersion) {
            out += version;
            i += kVersion.size();
        } else if (rest.substr(0, kLang.size()) == kLang) {
            out += lang;
            i += kLang.size();
        } else {
            out += text[i++];
        }
    }
    return out;
}

}  // namespace payload
