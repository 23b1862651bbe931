// LZ chunk decoder.
//
// How it is fast, and why it stays in bounds:
//
// - Each token is decoded from one 64-bit window taken at the token's first
//   bit.  While at least 8 input bytes remain from the token's byte, the
//   window is a single unaligned big-endian load shifted by the bit offset
//   (at least 57 valid bits; a token never uses more than 32).  Only the
//   last few bytes of a stream go through LoadTail, which reads just the
//   bytes that exist and leaves zeros after them, as the format asks.  So
//   the input is never read past ceil(bitcount / 8) bytes.
//
// - The leading 9 bits of the window index kCodeTable, which gives the kind
//   (literal, reference, end), the code length and either the literal or the
//   length symbol's base and extra-bit count.  Fixed codes make the table a
//   compile-time constant.
//
// - Output is bounded by one idiom: `room` = kMaxChunkBytes - q, compared
//   with what a token would write.  Back-references copy 8 bytes at a time
//   when the distance is at least 8 (a word never reads bytes the same copy
//   has yet to write) and the copy plus its 7-byte overrun fits in `room`;
//   distance 1 is a fill; everything else, including the copy that reaches
//   the cap, goes byte by byte.
//
// - No allocation and no state: the window is rebuilt for every token, so
//   nothing but p and q carries from one token to the next.
#include "payload/tsmufflz.hpp"

#include "payload/lzcode.hpp"

#include <array>
#include <bit>
#include <cstring>

namespace payload {
namespace {

using namespace lzcode;

constexpr std::uint8_t kLiteral = 0x40;  // CodeEntry::extra for a literal
constexpr std::uint8_t kEnd = 0x80;      // CodeEntry::extra for symbols 30/31

struct CodeEntry {
    std::uint16_t value;  // literal byte, or base length of the length symbol
    std::uint8_t bits;    // code length: 7, 8 or 9
    std::uint8_t extra;   // extra bits of the length symbol, or kLiteral/kEnd
};

constexpr std::array<CodeEntry, 512> BuildCodeTable() {
    std::array<CodeEntry, 512> table{};
    for (unsigned top9 = 0; top9 < 512; ++top9) {
        const unsigned top7 = top9 >> 2;
        const unsigned top8 = top9 >> 1;
        CodeEntry e{};
        if (top7 <= 23) {
            e = {kLengthBase[top7], 7, kLengthExtra[top7]};
        } else if (top8 >= 0x30 && top8 <= 0xBF) {
            e = {static_cast<std::uint16_t>(top8 - 0x30), 8, kLiteral};
        } else if (top8 >= 0xC0 && top8 <= 0xC5) {
            const unsigned k = 24 + (top8 - 0xC0);
            e = {kLengthBase[k], 8, kLengthExtra[k]};
        } else if (top8 == 0xC6 || top8 == 0xC7) {
            e = {0, 8, kEnd};
        } else {
            e = {static_cast<std::uint16_t>(top9 - 0x190 + 144), 9, kLiteral};
        }
        table[top9] = e;
    }
    return table;
}

constexpr std::array<CodeEntry, 512> kCodeTable = BuildCodeTable();

static_assert(kCodeTable[0x91 << 1].value == 0x61 && kCodeTable[0x91 << 1].extra == kLiteral);
static_assert(kCodeTable[0x1FF].value == 255 && kCodeTable[0x1FF].bits == 9);
static_assert(kCodeTable[0].value == 3 && kCodeTable[0].bits == 7);

inline std::uint64_t LoadBigEndian64(const std::uint8_t* at) {
    std::uint64_t v;
    std::memcpy(&v, at, sizeof v);
    if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
    return v;
}

// The `count` (1..7) bytes left at `at`, top-aligned, zeros after them.
inline std::uint64_t LoadTail(const std::uint8_t* at, std::size_t count) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < count; ++i) v |= std::uint64_t{at[i]} << (56 - 8 * i);
    return v;
}

// `count` (0..32) bits of `window` after its first `skip` bits, as a
// number.  The two-step right shift keeps count 0 well defined.
inline std::uint32_t Bits(std::uint64_t window, unsigned skip, unsigned count) {
    return static_cast<std::uint32_t>((window << skip) >> 1 >> (63 - count));
}

}  // namespace

void tsmufflz::DecodeChunk(const std::uint8_t* input, std::uint8_t* output, std::uint32_t& bitcount) const {
    const std::uint64_t nbits = bitcount;
    const std::size_t nbytes = static_cast<std::size_t>(nbits / 8 + (nbits % 8 != 0));
    std::uint64_t p = 0;  // bit position in the input
    std::uint32_t q = 0;  // bytes written

    while (p < nbits) {
        // Refill: the window holds 57..64 bits from p on (zeros past the end
        // count as bits too); tokens are taken from it while a whole token
        // of up to 32 bits is sure to be there.
        const std::size_t at = static_cast<std::size_t>(p >> 3);
        std::uint64_t window = at + 8 <= nbytes ? LoadBigEndian64(input + at) : LoadTail(input + at, nbytes - at);
        window <<= (p & 7);
        unsigned avail = 64 - static_cast<unsigned>(p & 7);

        do {
            const CodeEntry code = kCodeTable[window >> 55];
            const std::uint32_t room = kMaxChunkBytes - q;
            if (code.extra == kLiteral) {
                if (room == 0) goto done;
                output[q++] = static_cast<std::uint8_t>(code.value);
                window <<= code.bits;
                avail -= code.bits;
                p += code.bits;
                continue;
            }
            if (code.extra == kEnd) goto done;

            unsigned used = code.bits;
            const std::uint32_t length = code.value + Bits(window, used, code.extra);
            used += code.extra;
            const unsigned dsym = Bits(window, used, kDistanceCodeBits);
            used += kDistanceCodeBits;
            const std::uint32_t distance = kDistanceBase[dsym] + Bits(window, used, kDistanceExtra[dsym]);
            used += kDistanceExtra[dsym];
            window <<= used;
            avail -= used;
            p += used;

            if (distance > q) continue;  // reaches before the chunk: skipped
            std::uint8_t* dst = output + q;
            const std::uint8_t* src = dst - distance;

            if (length > room) {
                // The cap ends the chunk in the middle of this reference.
                for (std::uint32_t i = 0; i < room; ++i) dst[i] = src[i];
                q = kMaxChunkBytes;
                goto done;
            }
            q += length;
            if (distance >= 8 && room - length >= 16) {
                // Most references are short: two words cover them without
                // a loop (and its mispredicted exit).
                std::memcpy(dst, src, 8);
                std::memcpy(dst + 8, src + 8, 8);
                if (length > 16) {
                    std::uint8_t* const end = dst + length;
                    dst += 16;
                    src += 16;
                    do {
                        std::memcpy(dst, src, 8);
                        dst += 8;
                        src += 8;
                    } while (dst < end);
                }
            } else if (distance == 1) {
                std::memset(dst, *src, length);
            } else {
                for (std::uint32_t i = 0; i < length; ++i) dst[i] = src[i];
            }
        } while (avail >= 32 && p < nbits);
    }
done:
    bitcount = q;
}

}  // namespace payload
