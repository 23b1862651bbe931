// On POSIX hosts the 8-bit code page is UTF-8 (setuputil/utf8.hpp).
#include "setuputil/codepage.hpp"

#include "setuputil/utf8.hpp"

namespace setuputil {

std::string WideToAnsi(const std::u16string& text) { return Utf16ToUtf8(text); }

std::u16string AnsiToWide(const std::string& text) { return Utf8ToUtf16Replacing(text); }

namespace {

// Upper case for the scripts product names and paths commonly use; other
// code units are left as they are.
char16_t UpperUnit(char16_t c) {
    if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 32);
    if (c < 0xE0) return c;
    if (c <= 0xFE) return c == 0xF7 ? c : static_cast<char16_t>(c - 32);
    if (c == 0xFF) return 0x178;
    if (c >= 0x100 && c <= 0x17F) {
        // Latin Extended-A pairs: even upper, odd lower, except the
        // stretches 0x139-0x148 and 0x179-0x17E where odd is upper.
        const bool shifted = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        const bool lower = shifted ? (c % 2 == 0) : (c % 2 == 1);
        if (c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
        return lower ? static_cast<char16_t>(c - 1) : c;
    }
    if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return static_cast<char16_t>(c - 32);
    if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 32);
    if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 80);
    return c;
}

}  // namespace

std::u16string UpperCaseW(const std::u16string& text) {
    std::u16string out = text;
    for (char16_t& c : out) c = UpperUnit(c);
    return out;
}

}  // namespace setuputil
