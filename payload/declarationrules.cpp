#include "payload/declarations.hpp"

#include "payload/entrypath.hpp"
#include "setuputil/namefold.hpp"

#include <algorithm>
#include <array>
#include <string_view>

// The naming rules of declarations: what the builder refuses and the
// installer takes as damaged, in one place.

namespace payload {

namespace {

// Keys below Software that hold every program's settings, not a vendor's.
constexpr std::array<std::string_view, 6> kSharedKeys = {"microsoft", "classes", "policies",
                                                         "wow6432node", "clients", "registeredapplications"};
// Extensions the system runs, links or installs with: a product's file type
// may not name them, whatever it means to do with them.
constexpr std::array<std::string_view, 30> kSystemExtensions = {
    ".exe", ".com", ".bat", ".cmd", ".pif", ".scr", ".lnk", ".url", ".dll", ".sys", ".drv", ".ocx", ".cpl", ".msi",
    ".msp", ".msu", ".reg", ".inf", ".vbs", ".vbe", ".js",  ".jse", ".wsf", ".wsh", ".ps1", ".hta", ".chm", ".library-ms",
    ".appref-ms", ".application"};
constexpr std::array<std::string_view, 16> kSystemSchemes = {
    "http", "https", "file", "ftp", "mailto", "news", "nntp", "telnet", "javascript", "vbscript", "about", "res",
    "shell", "search", "search-ms", "callto"};
constexpr std::array<std::u16string_view, 28> kSystemVariables = {
    u"path", u"pathext", u"comspec", u"systemroot", u"systemdrive", u"windir", u"temp", u"tmp", u"os", u"username",
    u"userprofile", u"userdomain", u"homedrive", u"homepath", u"appdata", u"localappdata", u"programdata",
    u"programfiles", u"programfiles(x86)", u"programw6432", u"commonprogramfiles", u"allusersprofile", u"public",
    u"psmodulepath", u"number_of_processors", u"processor_architecture", u"driverdata", u"computername"};

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsLowerAlpha(char c) { return c >= 'a' && c <= 'z'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAlpha(char c) { return IsLowerAlpha(Lower(c)); }

bool SameAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

std::vector<std::string> SplitNames(const std::string& key) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = key.find('\\', start);
        parts.push_back(key.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) return parts;
        start = at + 1;
    }
}

}  // namespace

bool IsVendorKey(const std::string& key, std::string* why) {
    auto refuse = [&](const std::string& reason) {
        if (why) *why = reason;
        return false;
    };
    if (key.size() > kMaxRegistryKeyPath) return refuse("is longer than 512 characters");
    const std::vector<std::string> names = SplitNames(key);
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
    return name.size() <= kMaxDeclarationText &&
           std::none_of(name.begin(), name.end(), [](char16_t c) { return c < 0x20 || c == 0x7f || c == u'\\'; });
}

bool IsTaskName(const std::string& name) {
    if (name.empty() || name.size() > kMaxTaskName || !IsLowerAlpha(name[0])) return false;
    return std::all_of(name.begin(), name.end(), [](char c) { return IsLowerAlpha(c) || IsDigit(c) || c == '_'; });
}

bool IsProgId(const std::string& progid) {
    if (progid.empty() || progid.size() > kMaxProgIdLength || IsDigit(progid[0]) || progid.front() == '.' ||
        progid.back() == '.' || progid.find('.') == std::string::npos || progid.find("..") != std::string::npos)
        return false;
    return std::all_of(progid.begin(), progid.end(), [](char c) { return IsAlpha(c) || IsDigit(c) || c == '.'; });
}

bool IsExtension(const std::string& extension) {
    if (extension.size() < 2 || extension.size() > kMaxExtensionLength || extension[0] != '.') return false;
    if (!std::all_of(extension.begin() + 1, extension.end(),
                     [](char c) { return IsLowerAlpha(c) || IsDigit(c) || c == '_' || c == '-'; }))
        return false;
    return std::find(kSystemExtensions.begin(), kSystemExtensions.end(), extension) == kSystemExtensions.end();
}

bool IsScheme(const std::string& scheme) {
    if (scheme.size() < 2 || scheme.size() > kMaxSchemeLength || !IsLowerAlpha(scheme[0])) return false;
    if (!std::all_of(scheme.begin(), scheme.end(),
                     [](char c) { return IsLowerAlpha(c) || IsDigit(c) || c == '+' || c == '-' || c == '.'; }))
        return false;
    if (scheme.rfind("ms-", 0) == 0) return false;
    return std::find(kSystemSchemes.begin(), kSystemSchemes.end(), scheme) == kSystemSchemes.end();
}

bool IsVerbName(const std::string& verb) {
    return !verb.empty() && verb.size() <= kMaxVerbLength &&
           std::all_of(verb.begin(), verb.end(), [](char c) { return IsAlpha(c) || IsDigit(c); });
}

bool IsEnvironmentName(const std::u16string& name) {
    if (name.empty() || name.size() > kMaxEnvironmentName || (name[0] >= u'0' && name[0] <= u'9')) return false;
    for (char16_t c : name)
        if (!((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_'))
            return false;
    return std::none_of(kSystemVariables.begin(), kSystemVariables.end(),
                        [&](std::u16string_view v) { return setuputil::SameName(name, std::u16string(v)); });
}

bool IsProductRelativePath(const std::u16string& path, bool allowempty) {
    if (path.empty()) return allowempty;
    if (path.back() == u'\\') return false;
    return CheckSubfolder(u"\\" + path) == EntryPathProblem::None;
}

}  // namespace payload
