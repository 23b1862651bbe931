#include "payload/crc32.hpp"

#include <array>

namespace payload {

namespace {

using Tables = std::array<std::array<std::uint32_t, 256>, 8>;

// Table 0 is the byte-at-a-time table; table k advances a byte's CRC over
// k more zero bytes.
constexpr Tables MakeTables() {
    Tables t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[0][n] = c;
    }
    for (std::size_t k = 1; k < 8; ++k)
        for (std::uint32_t n = 0; n < 256; ++n) t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
    return t;
}

constexpr Tables kTables = MakeTables();

inline std::uint32_t Load32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace

std::uint32_t Crc32(std::uint32_t crc, const void* data, std::size_t size) {
    const auto* p = static_cast<const unsigned char*>(data);
    std::uint32_t c = ~crc;
    while (size >= 8) {
        const std::uint32_t lo = Load32(p) ^ c;
        const std::uint32_t hi = Load32(p + 4);
        c = kTables[7][lo & 0xFF] ^ kTables[6][(lo >> 8) & 0xFF] ^ kTables[5][(lo >> 16) & 0xFF] ^
            kTables[4][lo >> 24] ^ kTables[3][hi & 0xFF] ^ kTables[2][(hi >> 8) & 0xFF] ^
            kTables[1][(hi >> 16) & 0xFF] ^ kTables[0][hi >> 24];
        p += 8;
        size -= 8;
    }
    while (size-- > 0) c = kTables[0][(c ^ *p++) & 0xFF] ^ (c >> 8);
    return ~c;
}

}  // namespace payload
