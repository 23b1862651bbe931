// On POSIX hosts the 8-bit code page is UTF-8.
#include "setuputil/codepage.hpp"

#include <cstdint>

namespace setuputil {

std::string WideToAnsi(const std::u16string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            out.push_back('?');  // a lone surrogate has no UTF-8 form
            continue;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::u16string AnsiToWide(const std::string& text) {
    std::u16string out;
    out.reserve(text.size());
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned b = s[i];
        std::uint32_t c = 0;
        std::size_t extra = 0;
        if (b < 0x80) { c = b; }
        else if ((b & 0xE0) == 0xC0) { c = b & 0x1F; extra = 1; }
        else if ((b & 0xF0) == 0xE0) { c = b & 0x0F; extra = 2; }
        else if ((b & 0xF8) == 0xF0) { c = b & 0x07; extra = 3; }
        else { out.push_back(u'\uFFFD'); ++i; continue; }
        bool good = i + extra < n;
        for (std::size_t k = 1; good && k <= extra; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) good = false;
            else c = (c << 6) | (s[i + k] & 0x3Fu);
        }
        static constexpr std::uint32_t kMinimum[4] = {0, 0x80, 0x800, 0x10000};
        if (!good || c < kMinimum[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        i += extra + 1;
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
    }
    return out;
}

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
