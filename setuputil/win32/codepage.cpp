#include "setuputil/codepage.hpp"

#include "setuputil/platform.hpp"
#include "setuputil/wintext.hpp"

#include <windows.h>

namespace setuputil {

std::string WideToAnsi(const std::u16string& text) {
    if (text.empty()) return {};
    const int wideLength = static_cast<int>(text.size());
    const int n = WideCharToMultiByte(CP_ACP, 0, WinStr(text), wideLength, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, WinStr(text), wideLength, out.data(), n, nullptr, nullptr);
    return out;
}

std::u16string AnsiToWide(const std::string& text) {
    if (text.empty()) return {};
    const int ansiLength = static_cast<int>(text.size());
    const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), ansiLength, nullptr, 0);
    if (n <= 0) return {};
    std::u16string out(static_cast<std::size_t>(n), u'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), ansiLength, reinterpret_cast<wchar_t*>(out.data()), n);
    return out;
}

std::u16string UpperCaseW(const std::u16string& text) {
    if (text.empty()) return {};
    if (!IsWin2000OrLater()) {
        std::string ansi = WideToAnsi(text);
        CharUpperBuffA(ansi.data(), static_cast<DWORD>(ansi.size()));
        return AnsiToWide(ansi);
    }
    std::u16string out = text;
    CharUpperBuffW(reinterpret_cast<wchar_t*>(out.data()), static_cast<DWORD>(out.size()));
    return out;
}

}  // namespace setuputil
