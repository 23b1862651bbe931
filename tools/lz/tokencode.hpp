// Symbols, code words and exact bit costs of the encoder's tokens, built on
// the shared code tables of payload/lzcode.hpp.
#pragma once

#include "payload/lzcode.hpp"

#include <array>
#include <bit>
#include <cstdint>

namespace lz {

namespace code = payload::lzcode;

// Length symbol of each length 3..259.  259 takes symbol 29 (8 bits, no
// extra bits) rather than 28 with five extra bits.
constexpr std::array<std::uint8_t, code::kMaxLength + 1> BuildLengthSymbols() {
    std::array<std::uint8_t, code::kMaxLength + 1> table{};
    for (int k = 0; k < code::kLengthSymbols; ++k) {
        const unsigned first = code::kLengthBase[k];
        const unsigned last = first + (1u << code::kLengthExtra[k]) - 1;
        for (unsigned len = first; len <= last && len <= code::kMaxLength; ++len) table[len] = static_cast<std::uint8_t>(k);
    }
    return table;
}
inline constexpr auto kLengthSymbol = BuildLengthSymbols();
static_assert(kLengthSymbol[259] == 29 && kLengthSymbol[258] == 28 && kLengthSymbol[3] == 0);

// Distance symbol of a distance 1..65,536: two symbols per power of two.
constexpr unsigned DistanceSymbol(std::uint32_t distance) {
    if (distance <= 4) return distance - 1;
    const std::uint32_t d = distance - 1;
    const unsigned width = static_cast<unsigned>(std::bit_width(d));
    return 2 * (width - 1) + ((d >> (width - 2)) & 1);
}
static_assert(DistanceSymbol(5) == 4 && DistanceSymbol(7) == 5 && DistanceSymbol(65536) == 31 &&
              DistanceSymbol(49152) == 30 && DistanceSymbol(49153) == 31);

constexpr unsigned LiteralBits(std::uint8_t b) { return code::LiteralCodeBits(b); }

constexpr std::array<std::uint8_t, code::kMaxLength + 1> BuildLengthBits() {
    std::array<std::uint8_t, code::kMaxLength + 1> table{};
    for (unsigned len = code::kMinLength; len <= code::kMaxLength; ++len) {
        const int k = BuildLengthSymbols()[len];
        table[len] = static_cast<std::uint8_t>(code::LengthCodeBits(k) + code::kLengthExtra[k]);
    }
    return table;
}
// Bits of a length's code plus its extra bits.
inline constexpr auto kLengthBits = BuildLengthBits();

// Bits of a distance's 5-bit code plus its extra bits.
constexpr unsigned DistanceBits(std::uint32_t distance) {
    return code::kDistanceCodeBits + code::kDistanceExtra[DistanceSymbol(distance)];
}

constexpr unsigned MatchBits(std::uint32_t length, std::uint32_t distance) {
    return kLengthBits[length] + DistanceBits(distance);
}

}  // namespace lz
