// The fixed code of the LZ chunk stream, shared by the decoder (tsmufflz)
// and the encoder (tools/lz): the length and distance symbol tables and the
// code words of literals and length symbols.
//
//   literal 0..143      8-bit code 0x30 + b
//   literal 144..255    9-bit code 0x190 + (b - 144)
//   length sym 0..23    7-bit code k
//   length sym 24..29   8-bit code 0xC0 + (k - 24)
//   distance sym 0..31  5-bit code d
//
// Each length or distance symbol is followed by its extra bits, most
// significant first, added to the symbol's base value.
#pragma once

#include "payload/sacformat.hpp"

#include <cstdint>

namespace payload::lzcode {

inline constexpr int kLengthSymbols = 30;
inline constexpr int kDistanceSymbols = 32;
inline constexpr std::uint32_t kMinLength = 3;
inline constexpr std::uint32_t kMaxLength = 259;
inline constexpr std::uint32_t kMaxDistance = 65536;
inline constexpr std::uint32_t kDistanceCodeBits = 5;

// The window is the chunk: a reference may reach back to the chunk's first
// byte and no further, since every chunk is decoded on its own.
static_assert(kMaxDistance == kMaxChunkBytes);

inline constexpr std::uint16_t kLengthBase[kLengthSymbols] = {
    3,  4,  5,  6,  7,  8,  9,  10, 11,  12,  14,  16,  18,  20,  24,
    28, 32, 36, 44, 52, 60, 68, 84, 100, 116, 132, 164, 196, 228, 259,
};
inline constexpr std::uint8_t kLengthExtra[kLengthSymbols] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,
    2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0,
};

inline constexpr std::uint32_t kDistanceBase[kDistanceSymbols] = {
    1,    2,    3,    4,    5,    7,    9,    13,    17,    25,    33,    49,    65,    97,    129,   193,
    257,  385,  513,  769,  1025, 1537, 2049, 3073,  4097,  6145,  8193,  12289, 16385, 24577, 32769, 49153,
};
inline constexpr std::uint8_t kDistanceExtra[kDistanceSymbols] = {
    0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4,  4,  5,  5,  6,  6,
    7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14,
};

// The last symbols reach exactly the longest match and the window's end.
static_assert(kLengthBase[kLengthSymbols - 1] == kMaxLength);
static_assert(kDistanceBase[kDistanceSymbols - 1] + (1u << kDistanceExtra[kDistanceSymbols - 1]) - 1 == kMaxDistance);

// Code word and its length in bits of a length symbol (0..29).
constexpr std::uint32_t LengthCode(int symbol) { return symbol < 24 ? symbol : 0xC0 + (symbol - 24); }
constexpr std::uint32_t LengthCodeBits(int symbol) { return symbol < 24 ? 7 : 8; }

// Code word and its length in bits of a literal byte.
constexpr std::uint32_t LiteralCode(std::uint8_t b) { return b < 144 ? 0x30u + b : 0x190u + (b - 144u); }
constexpr std::uint32_t LiteralCodeBits(std::uint8_t b) { return b < 144 ? 8 : 9; }

}  // namespace payload::lzcode
