#include "payload/declarations.hpp"

#include "setuputil/utf8.hpp"

#include <array>
#include <set>
#include <string_view>

namespace payload {

namespace {

constexpr std::array<const char*, 6> kTypeNames = {"string", "expandable", "dword", "qword", "multistring", "binary"};
// Keys below Software that hold every program's settings, not a vendor's.
constexpr std::array<std::string_view, 6> kSharedKeys = {"microsoft", "classes", "policies",
                                                         "wow6432node", "clients", "registeredapplications"};
constexpr char kRegistryLine[] = "registry";
constexpr char kSigninLine[] = "startatsignin";
constexpr char kEnd[] = "end";
constexpr std::size_t kMaxLine = 200000;  // a multi-string value of many long items

std::string Header() { return std::string(kDeclarationsMark) + " " + std::to_string(kDeclarationsVersion); }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

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

bool ParseValue(const std::vector<std::string>& fields, RegistryDeclaration& d) {
    const std::size_t count = fields.size() - 5 + 1;  // the fields from the fifth on
    auto text = [](const std::string& utf8, std::u16string& out) {
        return setuputil::Utf8ToUtf16(utf8, out) && IsText(out);
    };
    switch (d.type) {
        case RegistryType::String:
        case RegistryType::Expandable:
        case RegistryType::MultiString:
            if (d.type != RegistryType::MultiString && count != 1) return false;
            if (d.type == RegistryType::MultiString && fields.size() == 5 && fields[4].empty()) return true;  // no items
            if (count > kMaxMultiStringItems) return false;
            for (std::size_t i = 4; i < fields.size(); ++i) {
                std::u16string item;
                if (!text(fields[i], item) || (d.type == RegistryType::MultiString && item.empty())) return false;
                d.texts.push_back(std::move(item));
            }
            return true;
        case RegistryType::Dword:
            return count == 1 && ParseNumber(fields[4], 0xFFFFFFFFu, d.number);
        case RegistryType::Qword:
            return count == 1 && ParseNumber(fields[4], ~std::uint64_t{0}, d.number);
        case RegistryType::Binary: {
            const std::string& hex = fields[4];
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

}  // namespace

const char* RegistryTypeName(RegistryType type) { return kTypeNames[static_cast<std::size_t>(type)]; }

bool RegistryTypeFromName(const std::string& name, RegistryType& type) {
    for (std::size_t i = 0; i < kTypeNames.size(); ++i)
        if (name == kTypeNames[i]) {
            type = static_cast<RegistryType>(i);
            return true;
        }
    return false;
}

bool IsVendorKey(const std::string& key, std::string* why) {
    auto refuse = [&](const std::string& reason) {
        if (why) *why = reason;
        return false;
    };
    if (key.size() > kMaxRegistryKeyPath) return refuse("is longer than 512 characters");
    const std::vector<std::string> names = Split(key, '\\');
    if (names.size() < 2 || !SameAscii(names[0], "software"))
        return refuse("must lie below Software\\ (Software\\Vendor\\Product)");
    for (const std::string& name : names) {
        if (name.empty()) return refuse("has an empty name between backslashes");
        if (name.size() > kMaxRegistryKeyName) return refuse("has a name longer than 255 characters");
        for (char c : name)
            if (c < 0x20 || c > 0x7e) return refuse("may hold only printable ASCII characters");
        if (name.front() == ' ' || name.back() == ' ') return refuse("has a name beginning or ending in a blank");
    }
    for (std::string_view shared : kSharedKeys)
        if (SameAscii(names[1], shared))
            return refuse("lies in Software\\" + names[1] + ", which every program shares");
    return true;
}

bool IsDeclarableValueName(const std::u16string& name) {
    return IsText(name) && name.find(u'\\') == std::u16string::npos;
}

std::string FormatDeclarations(const Declarations& declarations, std::string* error) {
    auto refuse = [&](const std::string& reason) {
        if (error) *error = reason;
        return std::string();
    };
    if (declarations.registry.size() > kMaxRegistryDeclarations) return refuse("too many registry values");
    if (DeclaredKeyCount(declarations.registry) > kMaxDeclaredKeys)
        return refuse("the values lie in more than 256 keys");
    std::string out = Header() + "\n";
    for (const RegistryDeclaration& d : declarations.registry) {
        std::string why;
        if (!IsVendorKey(d.key, &why)) return refuse("registry key " + d.key + " " + why);
        if (!IsDeclarableValueName(d.name)) return refuse("registry value name in " + d.key + " cannot be carried");
        std::vector<std::string> fields{kRegistryLine, RegistryTypeName(d.type), d.key, setuputil::Utf16ToUtf8(d.name)};
        if (!ValueFields(d, fields)) return refuse("registry value in " + d.key + " does not fit its type");
        if (d.type == RegistryType::MultiString && d.texts.empty()) fields.push_back("");
        std::string line;
        for (std::size_t i = 0; i < fields.size(); ++i) line += (i ? "\t" : "") + fields[i];
        if (line.size() > kMaxLine) return refuse("registry value in " + d.key + " is too long");
        out += line + "\n";
    }
    if (declarations.startatsignin) {
        if (!IsText(declarations.signinarguments)) return refuse("startatsignin arguments cannot be carried");
        out += std::string(kSigninLine) + "\t" + setuputil::Utf16ToUtf8(declarations.signinarguments) + "\n";
    }
    out += std::string(kEnd) + "\n";
    if (out.size() > kMaxDeclarationsBytes) return refuse("the declarations are too large");
    return out;
}

bool ParseDeclarations(const void* data, std::size_t size, Declarations& out, std::string& error) {
    out = {};
    if (data == nullptr || size == 0 || size > kMaxDeclarationsBytes) {
        error = "the declarations record is empty or too large";
        return false;
    }
    const std::string text(static_cast<const char*>(data), size);
    const std::vector<std::string> lines = Split(text, '\n');
    // The text ends in LF: the last part after it is empty.
    if (lines.size() < 3 || !lines.back().empty() || lines[0] != Header() || lines[lines.size() - 2] != kEnd) {
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
        const std::vector<std::string> fields = Split(line, '\t');
        if (fields[0] == kRegistryLine) {
            if (fields.size() < 5) return bad("too few fields");
            if (out.registry.size() == kMaxRegistryDeclarations) return bad("too many registry values");
            RegistryDeclaration d;
            std::string why;
            if (!RegistryTypeFromName(fields[1], d.type)) return bad("unknown type");
            if (!IsVendorKey(fields[2], &why)) return bad("the key " + why);
            d.key = fields[2];
            if (!setuputil::Utf8ToUtf16(fields[3], d.name) || !IsDeclarableValueName(d.name)) return bad("bad value name");
            if (!ParseValue(fields, d)) return bad("a value that does not fit its type");
            out.registry.push_back(std::move(d));
        } else if (fields[0] == kSigninLine) {
            if (out.startatsignin || fields.size() != 2) return bad("a repeated or malformed startatsignin");
            if (!setuputil::Utf8ToUtf16(fields[1], out.signinarguments) || !IsText(out.signinarguments))
                return bad("bad arguments");
            out.startatsignin = true;
        } else {
            return bad("unknown line");
        }
    }
    if (DeclaredKeyCount(out.registry) > kMaxDeclaredKeys) {
        error = "the declared values lie in more than 256 keys";
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
