#include "setuputil/textconv.hpp"

#include <algorithm>

namespace setuputil {

std::string EncodeLetterHex(const std::u16string& text) {
    std::string out;
    out.reserve(text.size() * 4);
    for (char16_t unit : text) {
        const unsigned c = unit;
        out.push_back(static_cast<char>('A' + (c >> 12)));
        out.push_back(static_cast<char>('A' + ((c >> 8) & 15)));
        out.push_back(static_cast<char>('A' + ((c >> 4) & 15)));
        out.push_back(static_cast<char>('A' + (c & 15)));
    }
    return out;
}

std::u16string DecodeLetterHex(const std::string& letters) {
    if (letters.size() % 4 != 0) return {};
    std::u16string out;
    out.reserve(letters.size() / 4);
    for (std::size_t i = 0; i < letters.size(); i += 4) {
        // Any byte is accepted: each group is taken in unsigned arithmetic
        // and the OR of the shifted groups is kept to 16 bits, exactly as
        // the format defines it, without reading past the group of four.
        const unsigned b0 = static_cast<unsigned char>(letters[i]) - 65u;
        const unsigned b1 = static_cast<unsigned char>(letters[i + 1]) - 65u;
        const unsigned b2 = static_cast<unsigned char>(letters[i + 2]) - 65u;
        const unsigned b3 = static_cast<unsigned char>(letters[i + 3]) - 65u;
        const unsigned unit = ((b0 << 12) | (b1 << 8) | (b2 << 4) | b3) & 0xFFFFu;
        out.push_back(static_cast<char16_t>(unit));
    }
    return out;
}

void CopyToWideBuffer(char16_t (&destination)[kWideBufferUnits], const std::u16string& text) {
    const std::size_t n = std::min<std::size_t>(text.size(), kWideBufferUnits - 1);
    std::copy_n(text.data(), n, destination);
    destination[n] = 0;
}

std::u16string TrimSpacesAndReturns(const std::u16string& text) {
    std::u16string s = text;
    auto trim = [&s](char16_t c) {
        std::size_t first = 0;
        while (first < s.size() && s[first] == c) ++first;
        s.erase(0, first);
        std::size_t last = s.size();
        while (last > 0 && s[last - 1] == c) --last;
        s.erase(last);
    };
    trim(u' ');
    trim(u'\r');
    return s;
}

std::string Int64ToText(std::int64_t value) {
    // Built by hand: the stub keeps iostreams and locales out.
    char digits[24];
    int n = 0;
    const bool negative = value < 0;
    std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    do {
        digits[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    std::string out;
    if (negative) out.push_back('-');
    while (n > 0) out.push_back(digits[--n]);
    return out;
}

std::string CopyLeftA(const std::string& text, std::int64_t count) {
    if (count <= 0) return {};
    return text.substr(0, static_cast<std::size_t>(std::min<std::int64_t>(count, text.size())));
}

std::string CopyFromA(const std::string& text, std::int64_t start) {
    if (start < 1) start = 1;
    if (start > static_cast<std::int64_t>(text.size())) return {};
    return text.substr(static_cast<std::size_t>(start - 1));
}

}  // namespace setuputil
