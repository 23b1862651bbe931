#include "payload/crc32.hpp"

#include <array>

namespace payload {

namespace {

constexpr std::size_t kSlices = 16;
using Tables = std::array<std::array<std::uint32_t, 256>, kSlices>;

// Table 0 is the byte-at-a-time table; table k advances a byte's CRC over
// k more zero bytes.  Built on each call, on the stack: compiled in, the
// tables would be some 4 % of the stub, and building them takes a few
// microseconds, nothing beside the mebibyte a check hands over at a time.
void MakeTables(Tables& t) {
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[0][n] = c;
    }
    for (std::size_t k = 1; k < kSlices; ++k)
        for (std::uint32_t n = 0; n < 256; ++n) t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
}

inline std::uint32_t Load32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace

std::uint32_t Crc32(std::uint32_t crc, const void* data, std::size_t size) {
    const auto* p = static_cast<const unsigned char*>(data);
    Tables tables;
    MakeTables(tables);
    std::uint32_t c = ~crc;
    // Sixteen bytes a step: only the first four depend on the CRC so far,
    // the other twelve lookups run alongside.
    while (size >= kSlices) {
        std::uint32_t next = 0;
        for (std::size_t word = 0; word < kSlices / 4; ++word) {
            const std::uint32_t w = Load32(p + 4 * word) ^ (word == 0 ? c : 0);
            const std::size_t t = kSlices - 1 - 4 * word;
            next ^= tables[t][w & 0xFF] ^ tables[t - 1][(w >> 8) & 0xFF] ^ tables[t - 2][(w >> 16) & 0xFF] ^
                    tables[t - 3][w >> 24];
        }
        c = next;
        p += kSlices;
        size -= kSlices;
    }
    while (size-- > 0) c = tables[0][(c ^ *p++) & 0xFF] ^ (c >> 8);
    return ~c;
}

}  // namespace payload
