// Views of our UTF-16 strings as the wchar_t strings the wide Win32 calls take
// (both are 16-bit on Windows).  Windows builds only.
#pragma once

#include <string>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wide Win32 calls take 16-bit units");

namespace setuputil {

inline const wchar_t* WinStr(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

inline std::u16string FromWinStr(const wchar_t* text) {
    return text ? std::u16string(reinterpret_cast<const char16_t*>(text)) : std::u16string();
}

// The form a path of any length takes in the wide file calls: a drive path
// past the classic limit goes in its extended-length form ("\\?\C:\..."),
// which the system takes as it is; shorter ones stay as they are.
inline std::u16string ExtendedPath(const std::u16string& path) {
    constexpr std::size_t kClassicLimit = 260 - 12;  // room for an 8.3 name, as CreateDirectory needs
    if (path.size() < kClassicLimit || path.size() < 3 || path[1] != u':' || path[2] != u'\\') return path;
    return u"\\\\?\\" + path;
}

}  // namespace setuputil
