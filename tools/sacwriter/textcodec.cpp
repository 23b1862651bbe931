#include "tools/sacwriter/textcodec.hpp"

#include <cstdint>

using setuputil::AppendUtf8;
using setuputil::DecodeUtf8;

namespace sacwriter {

namespace {

// Code points of the bytes 0x80..0x9F; 0 where the code page has no character.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178,
};

}  // namespace

bool Utf8ToCp1252(const std::string& text, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size();) {
        const std::int32_t cp = DecodeUtf8(text, i);
        if (cp < 0) return false;
        if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
            out += static_cast<char>(cp);
            continue;
        }
        int found = -1;
        for (int k = 0; k < 32; ++k)
            if (kCp1252High[k] != 0 && kCp1252High[k] == cp) found = k;
        if (found < 0) return false;
        out += static_cast<char>(0x80 + found);
    }
    return true;
}

std::string Cp1252ToUtf8(const std::string& text) {
    std::string out;
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        std::uint32_t cp = b;
        if (b >= 0x80 && b < 0xA0) cp = kCp1252High[b - 0x80] != 0 ? kCp1252High[b - 0x80] : 0xFFFD;
        AppendUtf8(out, cp);
    }
    return out;
}

}  // namespace sacwriter
