#include "setuputil/versioninfo.hpp"

#include "setuputil/wintext.hpp"

#include <windows.h>

#include <vector>

namespace setuputil {

namespace {

// The file's version resource as the system hands it over; false when it
// has none.
bool LoadVersionBlock(const std::u16string& file, std::vector<unsigned char>& block) {
    const std::wstring path(file.begin(), file.end());
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return false;
    block.resize(size);
    return ::GetFileVersionInfoW(path.c_str(), 0, size, block.data()) != 0;
}

}  // namespace

std::u16string ReadVersionString(const std::u16string& file, const std::u16string& name) {
    std::vector<unsigned char> block;
    if (!LoadVersionBlock(file, block)) return {};
    const WORD* translation = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(const_cast<WORD**>(&translation)), &length) ||
        length < 4)
        return {};
    // The language and code page as eight hex digits.  Spelt out here: the
    // C library's formatted printing would bring its whole float formatter
    // into the stub (some 27 KB of the 32-bit one) for this one line.
    std::wstring query = L"\\StringFileInfo\\";
    for (const WORD part : {translation[0], translation[1]})
        for (int shift = 12; shift >= 0; shift -= 4) query.push_back(L"0123456789abcdef"[(part >> shift) & 0xF]);
    query += L'\\';
    query.append(name.begin(), name.end());
    const wchar_t* value = nullptr;
    if (!::VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(const_cast<wchar_t**>(&value)), &length) ||
        !value || length == 0)
        return {};
    // `length` counts characters, the ending zero among them.
    std::u16string text;
    for (UINT i = 0; i < length && value[i] != 0; ++i) text.push_back(static_cast<char16_t>(value[i]));
    return text;
}

std::u16string ReadFileVersion(const std::u16string& file) {
    std::vector<unsigned char> block;
    if (!LoadVersionBlock(file, block)) return {};
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || !fixed ||
        length < sizeof(VS_FIXEDFILEINFO) || fixed->dwSignature != 0xFEEF04BD)
        return {};
    std::u16string text;
    for (const DWORD part : {fixed->dwFileVersionMS >> 16, fixed->dwFileVersionMS & 0xFFFF,
                             fixed->dwFileVersionLS >> 16, fixed->dwFileVersionLS & 0xFFFF}) {
        if (!text.empty()) text += u'.';
        std::u16string digits;
        DWORD value = part;
        do {
            digits.insert(digits.begin(), static_cast<char16_t>(u'0' + value % 10));
            value /= 10;
        } while (value != 0);
        text += digits;
    }
    return text;
}

}  // namespace setuputil
