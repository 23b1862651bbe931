#include "installengine/uninstallguard.hpp"

#include "payload/entrypath.hpp"
#include "setuputil/codepage.hpp"
#include "setuputil/namefold.hpp"

namespace installengine {

namespace {

// A path split into its root ("C:" or "\\server\share", upper-cased) and
// its parts (upper-cased, trailing dots and blanks dropped).  `valid` is
// false for anything that is not an absolute path of that kind or that
// holds a part the platform would resolve to something else.
struct SplitPath {
    bool valid = false;
    std::u16string root;
    std::vector<std::u16string> parts;
};

bool IsLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

std::vector<std::u16string> RawParts(const std::u16string& text) {
    std::vector<std::u16string> parts;
    std::u16string part;
    for (char16_t c : text) {
        if (c == u'\\') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(part);
    return parts;
}

SplitPath Split(const std::u16string& input) {
    SplitPath out;
    // A pattern character makes the find and delete calls act on whatever
    // the pattern matches; the others no name may hold.
    for (char16_t c : input)
        if (payload::IsForbiddenNameChar(c)) return out;
    std::u16string path = input;
    for (char16_t& c : path)
        if (c == u'/') c = u'\\';
    std::u16string rest;
    if (path.size() >= 3 && IsLetter(path[0]) && path[1] == u':' && path[2] == u'\\') {
        out.root = setuputil::FoldName(path.substr(0, 2));
        rest = path.substr(3);
    } else if (path.size() >= 2 && path[0] == u'\\' && path[1] == u'\\') {
        const std::vector<std::u16string> parts = RawParts(path.substr(2));
        // "\\?\..." and "\\.\..." reach devices and raw namespaces.
        if (parts.size() < 2 || parts[0] == u"?" || parts[0] == u".") return out;
        out.root = setuputil::FoldName(u"\\\\" + parts[0] + u"\\" + parts[1]);
        for (std::size_t i = 2; i < parts.size(); ++i) rest += parts[i] + u"\\";
    } else {
        return out;  // relative, drive-relative or rooted without a drive
    }
    for (std::u16string part : RawParts(rest)) {
        while (!part.empty() && (part.back() == u'.' || part.back() == u' ')) part.pop_back();
        if (part.empty()) return out;  // ".", "..", "...", ". ." and the like
        if (part.find(u':') != std::u16string::npos) return out;  // alternate streams, stray drives
        out.parts.push_back(setuputil::FoldName(part));
    }
    out.valid = true;
    return out;
}

// True when `outer` is `inner` or one of its ancestors.
bool Contains(const SplitPath& outer, const SplitPath& inner) {
    if (outer.root != inner.root || outer.parts.size() > inner.parts.size()) return false;
    for (std::size_t i = 0; i < outer.parts.size(); ++i)
        if (outer.parts[i] != inner.parts[i]) return false;
    return true;
}

}  // namespace

bool IsRemovableFolder(const std::u16string& path, const std::vector<std::u16string>& protectedfolders,
                       const std::vector<std::u16string>& protectedtrees) {
    const SplitPath candidate = Split(path);
    if (!candidate.valid || candidate.parts.empty()) return false;
    // A share reaches a drive by another name than the one every list here
    // holds ("\\localhost\c$\Program Files"): never a folder to delete.
    if (candidate.root.size() > 2 && candidate.root[0] == u'\\') return false;
    for (const std::u16string& folder : protectedfolders) {
        const SplitPath guarded = Split(folder);
        if (!guarded.valid) continue;  // an unusable entry protects nothing more than the rules above
        if (Contains(candidate, guarded)) return false;
    }
    for (const std::u16string& tree : protectedtrees) {
        const SplitPath guarded = Split(tree);
        if (guarded.valid && Contains(guarded, candidate)) return false;
    }
    return true;
}

bool IsSamePlace(const std::u16string& a, const std::u16string& b) {
    const SplitPath x = Split(a), y = Split(b);
    return x.valid && y.valid && x.root == y.root && x.parts == y.parts;
}

bool IsInside(const std::u16string& inner, const std::u16string& outer) {
    const SplitPath x = Split(inner), y = Split(outer);
    return x.valid && y.valid && Contains(y, x);
}

template <typename Text>
bool HasName(const Text& name) {
    for (auto c : name)
        if (c != '\\' && c != ' ') return true;
    return false;
}

bool HasCompletingName(const std::string& name) { return HasName(name); }
bool HasCompletingName(const std::u16string& name) { return HasName(name); }

namespace {

// One key name: something besides blanks, no separator.
bool IsSingleKeyName(const std::string& name) {
    return HasName(name) && name.find('\\') == std::string::npos && name.find('/') == std::string::npos;
}

bool EqualsIgnoringCase(const std::string& a, const char* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i] != 0; ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
        if (x != y) return false;
    }
    return i == a.size() && b[i] == 0;
}

}  // namespace

bool IsRemovableExtensionKey(const std::string& extension) {
    return extension.size() >= 2 && extension[0] == '.' && IsSingleKeyName(extension) && HasName(extension.substr(1));
}

bool IsRemovableFileTypeKey(const std::string& filetype) {
    static constexpr const char* kShared[] = {
        "*", "AllFilesystemObjects", "AppID", "CLSID", "Directory", "Drive", "Folder", "Installer", "Interface",
        "MIME", "SystemFileAssociations", "TypeLib", "Unknown", "Wow6432Node", "batfile", "cmdfile", "comfile",
        "dllfile", "exefile", "htmlfile", "inffile", "inifile", "lnkfile", "regfile", "txtfile"};
    if (!IsSingleKeyName(filetype) || filetype[0] == '.') return false;
    for (const char* shared : kShared)
        if (EqualsIgnoringCase(filetype, shared)) return false;
    return true;
}

bool IsRemovableSettingsKey(const std::string& keypath) {
    static constexpr const char* kShared[] = {
        "Microsoft", "Classes", "Policies", "Wow6432Node", "Clients", "RegisteredApplications",
        "Windows", "ODBC", "AppDataLow", "Wine", "Software"};
    std::vector<std::string> names;
    std::string name;
    for (char c : keypath + "\\") {
        if (c != '\\' && c != '/') {
            name += c;
            continue;
        }
        if (!name.empty()) names.push_back(name);
        name.clear();
    }
    if (names.size() < 3 || !EqualsIgnoringCase(names[0], "software")) return false;
    for (const std::string& part : names) {
        if (!HasName(part)) return false;
        std::string trimmed = part;
        while (!trimmed.empty() && (trimmed.back() == ' ' || trimmed.back() == '.')) trimmed.pop_back();
        if (trimmed.empty()) return false;
    }
    for (const char* shared : kShared)
        if (EqualsIgnoringCase(names[1], shared)) return false;
    return true;
}

AssociationKeys AssociationKeysToRemove(const std::string& extension, const std::string& filetype) {
    if (!IsRemovableExtensionKey(extension)) return {};
    if (filetype.empty()) return {std::string(), extension};
    if (!IsRemovableFileTypeKey(filetype)) return {};
    return {filetype, extension};
}

bool IsAbsoluteFilePath(const std::u16string& path) {
    const SplitPath split = Split(path);
    return split.valid && !split.parts.empty();
}

bool IsShortcutFilePath(const std::u16string& path) {
    if (!IsAbsoluteFilePath(path) || path.size() < 4) return false;
    // The name as the platform reads it: trailing dots and blanks dropped.
    std::u16string name = path;
    while (!name.empty() && (name.back() == u'.' || name.back() == u' ')) name.pop_back();
    if (name.size() < 4) return false;
    const std::u16string suffix = setuputil::FoldName(name.substr(name.size() - 4));
    return suffix == u".LNK";
}

}  // namespace installengine
