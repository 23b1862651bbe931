#include "setuputil/pathrules.hpp"

#include <array>
#include <string_view>

namespace setuputil {

std::u16string AddBackslash(const std::u16string& path) {
    if (path.empty() || path.back() == u'\\') return path;
    return path + u'\\';
}

std::u16string RemoveBackslash(const std::u16string& path) {
    if (path.empty() || path.back() != u'\\') return path;
    return path.substr(0, path.size() - 1);
}

std::u16string ParentFolder(const std::u16string& path) {
    const std::size_t slash = RemoveBackslash(path).find_last_of(u'\\');
    return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash);
}

std::u16string StripBadNameChars(const std::u16string& name) {
    static constexpr std::u16string_view kBad = u"\\/:*?\"<>|";
    std::u16string kept;
    for (char16_t c : name)
        if (kBad.find(c) == std::u16string_view::npos) kept += c;
    return kept;
}

namespace {

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

}  // namespace

bool IsAbsoluteWindowsPath(const std::u16string& path) {
    if (path.size() >= 3 && ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z')) &&
        path[1] == u':' && IsSeparator(path[2]))
        return true;
    if (path.size() < 2 || !IsSeparator(path[0]) || !IsSeparator(path[1])) return false;
    // "\\server\share": two names, neither empty; "?" and "." reach devices.
    std::size_t at = 2;
    std::u16string names[2];
    for (std::u16string& name : names) {
        while (at < path.size() && !IsSeparator(path[at])) name += path[at++];
        if (name.empty()) return false;
        if (at < path.size()) ++at;
    }
    return names[0] != u"?" && names[0] != u".";
}

namespace {

std::string UpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

}  // namespace

bool IsDeviceName(const std::string& name) {
    if (name.size() < 3) return false;
    static constexpr std::array<std::string_view, 14> kWhole = {
        "COM1", "COM2", "COM3", "COM4", "LPT1", "LPT2", "LPT3",
        "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9", "AUX"};
    const std::string upper = UpperAscii(name);
    for (std::string_view device : kWhole)
        if (upper == device) return true;
    if (upper.size() < 5) {
        // Too short for "\COMn" or "\LPTn"; "\AUX" still needs four.
        return upper.size() == 4 && upper == "\\AUX";
    }
    const char last = upper.back();
    const std::string_view prefix = std::string_view(upper).substr(upper.size() - 5, 4);
    if (prefix == "\\COM" && last > '0' && last <= '4') return true;
    if (prefix == "\\LPT" && last > '0' && last <= '9') return true;
    return std::string_view(upper).substr(upper.size() - 4) == "\\AUX";
}

}  // namespace setuputil
