// The LZ chunk decoder's loop, for the word sizes tsmufflz.cpp (32-bit
// words) and tsmufflz64.cpp (64-bit) compile it in: a program takes only
// the one its DecodeChunk uses (a 32-bit stub does not carry the other).
// LZ chunk decoder.
//
// How it is fast, and why it stays in bounds:
//
// - Bits come from a buffer `buf` of one machine word, most significant bit
//   first, with `left` valid bits at its top: 64 bits, or 32 on a 32-bit
//   build (the installer's own), where each 64-bit shift would cost several
//   instructions.  While at least 8 input bytes remain, a refill is
//   branchless: one unaligned big-endian word load ORed in below the valid
//   bits, the pointer advanced by the whole bytes that fitted, and
//   `left |= 56` (24) (the load's other bytes land where the next refill
//   puts them again, so ORing them twice is harmless).  Then at least 56
//   bits are valid, enough for two literals (9 bits each) and the longest
//   reference (32 bits); with 24, for two literals or a literal and a
//   length, and a second refill comes before the distance.  The last bytes
//   go through the tail loop (64 bits on every build: it is not the hot
//   path), which loads one byte at a time and reads nothing past
//   ceil(bitcount / 8) bytes; there the bits past the last byte are the
//   buffer's zeros.
//
// - A refill makes all of the buffer's bits stream bits, not only the
//   `left` it counts, and a turn takes few enough of them after its last
//   refill: the next code is looked up before the refill, so the look-up
//   does not wait for it.  The chain from one token's table entry to the
//   next is then a shift or two and one load (two for a reference: its
//   distance symbol's).
//
// - kCodeTable, on the leading 9 bits, gives a literal with its code length,
//   or a length symbol as the bits to take (code plus extra bits) and an
//   offset that turns those bits, read as a number, into the length.  The
//   5-bit distance symbol indexes kDistanceTable the same way.  So a token
//   costs one or two lookups and a shift or two, no per-field branches.
//
// - One output check per turn of the fast loop: it runs only while
//   kFastRoom bytes are left, room for two literals and a 259-byte copy
//   with its overrun.  When the distance is at least 8 a copy makes five
//   8-byte moves whatever its length (most references are shorter than 40
//   bytes: no loop exit to mispredict), then 8 bytes at a time; a move
//   never reads a byte the same move writes.  Shorter distances step 8-byte
//   moves by the distance, so each adds `distance` correct bytes.  Copies
//   may write past the reference, always below the cap.  The tail loop
//   checks every token and copies byte by byte, stopping exactly at
//   kMaxChunkBytes.
//
// - No allocation and no state beyond the locals of one call.
#pragma once

#include "payload/tsmufflz.hpp"

#include "payload/lzcode.hpp"

#include <array>
#include <bit>
#include <cstring>

namespace payload {
namespace {

using namespace lzcode;

// kCodeTable entry: bits 0..5 the bits the code takes, bit 6 kEnd, bit 7
// kLiteral, bits 16..31 the literal byte or, for a length symbol, the
// signed offset added to its code-plus-extra bits read as a number.
constexpr std::uint32_t kEnd = 0x40;
constexpr std::uint32_t kLiteral = 0x80;

constexpr std::uint32_t LengthEntry(int k, std::uint32_t code, std::uint32_t codebits) {
    const std::uint32_t extra = kLengthExtra[k];
    const std::int32_t offset = static_cast<std::int32_t>(kLengthBase[k]) - static_cast<std::int32_t>(code << extra);
    return (static_cast<std::uint32_t>(offset) << 16) | (codebits + extra);
}

// The codes are looked up on their leading 9 bits, the longest literal or
// length code.
constexpr unsigned kLookupBits = 9;
using CodeTable = std::array<std::uint32_t, 1u << kLookupBits>;

constexpr CodeTable BuildCodeTable() {
    CodeTable table{};
    for (std::uint32_t top9 = 0; top9 < table.size(); ++top9) {
        const std::uint32_t top7 = top9 >> 2;
        const std::uint32_t top8 = top9 >> 1;
        std::uint32_t e = 0;
        if (top7 <= 23)
            e = LengthEntry(static_cast<int>(top7), top7, 7);
        else if (top8 >= 0x30 && top8 <= 0xBF)
            e = ((top8 - 0x30) << 16) | kLiteral | 8;
        else if (top8 >= 0xC0 && top8 <= 0xC5)
            e = LengthEntry(static_cast<int>(24 + top8 - 0xC0), top8, 8);
        else if (top8 == 0xC6 || top8 == 0xC7)
            e = kEnd | 8;
        else
            e = ((top9 - 0x190 + 144) << 16) | kLiteral | 9;
        table[top9] = e;
    }
    return table;
}

// Distance entry: bits 0..4 the bits taken (5 plus extra), bits 8..31 the
// signed offset added to those bits read as a number.
constexpr std::array<std::uint32_t, kDistanceSymbols> BuildDistanceTable() {
    std::array<std::uint32_t, kDistanceSymbols> table{};
    for (std::uint32_t d = 0; d < kDistanceSymbols; ++d) {
        const std::uint32_t extra = kDistanceExtra[d];
        const std::int32_t offset = static_cast<std::int32_t>(kDistanceBase[d]) - static_cast<std::int32_t>(d << extra);
        table[d] = (static_cast<std::uint32_t>(offset) << 8) | (kDistanceCodeBits + extra);
    }
    return table;
}

constexpr CodeTable kCodeTable = BuildCodeTable();
constexpr std::array<std::uint32_t, kDistanceSymbols> kDistanceTable = BuildDistanceTable();

// The bit buffer is a machine word: 64 bits, or 32 on a 32-bit build, where
// every 64-bit shift would take several instructions.
template <typename Word>
constexpr unsigned kWordBits = 8 * sizeof(Word);

constexpr std::uint32_t Literal(std::uint32_t e) { return e >> 16; }
constexpr unsigned Taken(std::uint32_t e) { return e & 63; }
template <typename Word>
constexpr std::uint32_t Value(Word buf, std::int32_t offset, unsigned taken) {
    return static_cast<std::uint32_t>(offset) + static_cast<std::uint32_t>(buf >> (kWordBits<Word> - taken));
}
template <typename Word>
constexpr std::uint32_t Length(Word buf, std::uint32_t e) {
    return Value(buf, static_cast<std::int32_t>(e) >> 16, Taken(e));
}
template <typename Word>
constexpr std::uint32_t Lookup(Word buf) {
    return kCodeTable[buf >> (kWordBits<Word> - kLookupBits)];
}
template <typename Word>
constexpr std::uint32_t DistanceEntry(Word buf) {
    return kDistanceTable[buf >> (kWordBits<Word> - kDistanceCodeBits)];
}

static_assert(Literal(kCodeTable[0x91 << 1]) == 0x61 && (kCodeTable[0x91 << 1] & kLiteral));
static_assert(Literal(kCodeTable[0x1FF]) == 255 && Taken(kCodeTable[0x1FF]) == 9);
static_assert(Length(std::uint64_t{0}, kCodeTable[0]) == 3 && Taken(kCodeTable[0]) == 7);
static_assert(Length(~std::uint64_t{0} >> 8 | std::uint64_t{0xC4} << 56, kCodeTable[0xC4 << 1]) == 228 + 31);
static_assert(Value(~std::uint64_t{0}, static_cast<std::int32_t>(kDistanceTable[31]) >> 8, 19) == 65536);
static_assert(Value(std::uint64_t{0}, static_cast<std::int32_t>(kDistanceTable[0]) >> 8, 5) == 1);
static_assert(Value(~std::uint32_t{0}, static_cast<std::int32_t>(kDistanceTable[31]) >> 8, 19) == 65536);
static_assert(Lookup(std::uint32_t{0xC4} << 24) == Lookup(std::uint64_t{0xC4} << 56));

// The most bytes one copy writes: the five moves of a short reference, or
// a 259-byte one whose last 8-byte move overruns by up to 7 (distance 1:
// two moves, then as the longest).  One turn of the fast loop writes two
// literals and one copy.
constexpr std::uint32_t kShortCopyBytes = 5 * 8;
constexpr std::uint32_t kMostCopied = kMaxLength + 7;
static_assert(kMostCopied >= kShortCopyBytes && kMostCopied >= 2 * 8);
constexpr std::uint32_t kFastRoom = 2 + kMostCopied;

// Bit budgets.  A refill leaves at least kRefillBits<Word> bits counted (56
// or 24: the load's last byte may not fit whole), and it makes all of the
// buffer's bits stream bits, so a code can be looked up in bits taken
// after the last refill as long as they lie inside the word.
template <typename Word>
constexpr unsigned kRefillBits = kWordBits<Word> - 8;  // also the mask the refill ORs into `left`
constexpr unsigned LongestLength() {
    unsigned most = 0;
    for (std::uint32_t e : kCodeTable)
        if (!(e & (kLiteral | kEnd)) && Taken(e) > most) most = Taken(e);
    return most;
}
constexpr unsigned LongestDistance() {
    unsigned most = 0;
    for (std::uint32_t d : kDistanceTable)
        if ((d & 31) > most) most = d & 31;
    return most;
}
static_assert(LongestLength() == 13 && LongestDistance() == 19);
// 64 bits: a turn takes two literals and a reference on one refill, and
// the next code is looked up in what is left of the word.
static_assert(2 * kLookupBits + LongestLength() + LongestDistance() <= kRefillBits<std::uint64_t>);
static_assert(64 - (2 * kLookupBits + LongestLength() + LongestDistance()) >= kLookupBits);
// 32 bits: a turn takes two literals, or a literal and a reference's
// length; a refill comes before the distance, whose bits leave room for
// the next look-up.  The second literal's two look-ups reach 27 bits.
static_assert(2 * kLookupBits <= kRefillBits<std::uint32_t> &&
              kLookupBits + LongestLength() <= kRefillBits<std::uint32_t>);
static_assert(LongestDistance() <= kRefillBits<std::uint32_t> && 32 - LongestDistance() >= kLookupBits);
static_assert(3 * kLookupBits <= 32);

template <typename Word>
inline Word LoadBigEndian(const std::uint8_t* at) {
    Word v;
    std::memcpy(&v, at, sizeof v);
    if constexpr (std::endian::native == std::endian::little) {
        if constexpr (sizeof v == 8) v = __builtin_bswap64(v);
        else v = __builtin_bswap32(v);
    }
    return v;
}

// Writes the literal of entry `e`, takes its bits and answers the entry of
// the next code.  Both possible next entries (after 8 or 9 bits) are looked
// up at once, so a run of literals waits on one table load per literal
// rather than on a load and the shift before it.
template <typename Word>
inline std::uint32_t TakeLiteral(std::uint32_t e, Word& buf, unsigned& left, std::uint8_t*& out) {
    const std::uint32_t after8 = Lookup(static_cast<Word>(buf << 8));
    const std::uint32_t after9 = Lookup(static_cast<Word>(buf << 9));
    *out++ = static_cast<std::uint8_t>(Literal(e));
    buf <<= Taken(e);
    left -= Taken(e);
    return Taken(e) == 8 ? after8 : after9;
}

inline void Move8(std::uint8_t* dst, const std::uint8_t* src) {
    std::uint64_t v;
    std::memcpy(&v, src, 8);
    std::memcpy(dst, &v, 8);
}

// Copies `length` bytes from `distance` back; writes at most
// max(kShortCopyBytes, length + 7) bytes from dst.
inline void CopyWithOverrun(std::uint8_t* dst, std::uint32_t distance, std::uint32_t length) {
    const std::uint8_t* src = dst - distance;
    std::uint8_t* const end = dst + length;
    if (distance >= 8) {
        Move8(dst, src);
        Move8(dst + 8, src + 8);
        Move8(dst + 16, src + 16);
        Move8(dst + 24, src + 24);
        Move8(dst + 32, src + 32);
        static_assert(kShortCopyBytes == 40);
        dst += kShortCopyBytes;
        src += kShortCopyBytes;
        while (dst < end) {
            Move8(dst, src);
            dst += 8;
            src += 8;
        }
    } else if (distance == 1) {
        const std::uint64_t v = std::uint64_t{*src} * 0x0101010101010101u;
        std::memcpy(dst, &v, 8);
        std::memcpy(dst + 8, &v, 8);
        dst += 16;
        while (dst < end) {
            std::memcpy(dst, &v, 8);
            dst += 8;
        }
    } else {
        do {
            Move8(dst, src);
            dst += distance;
            src += distance;
        } while (dst < end);
    }
}

// The fast loop.  Each turn starts with the buffer refilled and `e` the
// entry of its leading bits, and at least eight bytes at `in`: the end of
// the stream then lies more than 56 bits past the buffer's bits, so every
// token taken here starts inside the bit count, and the turn's refills (at
// most two of at most three bytes each) may load whole words.  The next
// token's entry is looked up before the refill and before a reference is
// copied, so the look-up's latency hides behind both.  Answers false at the
// code that ends the stream; otherwise hands the buffer, in the top bits
// of `tail`, to the tail loop.
template <typename Word>
bool FastLoop(const std::uint8_t*& in, const std::uint8_t* in_end, std::uint8_t* output, std::uint8_t*& out,
              std::uint64_t& tail, unsigned& left) {
    Word buf = 0;
    left = 0;
    tail = 0;
    if (in_end - in < 8) return true;
    const auto refill = [&] {
        buf |= LoadBigEndian<Word>(in) >> left;
        in += (kWordBits<Word> - 1 - left) >> 3;
        left |= kRefillBits<Word>;
    };
    // The last places a turn may start from.
    const std::uint8_t* const in_last = in_end - 8;
    const std::uint8_t* const out_last = output + kMaxChunkBytes - kFastRoom;
    refill();
    std::uint32_t e = Lookup(buf);
    while (in <= in_last && out <= out_last) {
        if (e & kLiteral) {
            e = TakeLiteral(e, buf, left, out);
            if (e & kLiteral) {
                e = TakeLiteral(e, buf, left, out);
                if constexpr (kWordBits<Word> == 32) {
                    refill();
                    continue;
                } else if (e & kLiteral) {
                    // Three literals (27 bits) would leave too few bits for
                    // a reference: refill first.
                    *out++ = static_cast<std::uint8_t>(Literal(e));
                    buf <<= Taken(e);
                    left -= Taken(e);
                    e = Lookup(buf);
                    refill();
                    continue;
                }
            }
        }
        if (e & kEnd) return false;
        const std::uint32_t length = Length(buf, e);
        buf <<= Taken(e);
        left -= Taken(e);
        if constexpr (kWordBits<Word> == 32) refill();
        const std::uint32_t d = DistanceEntry(buf);
        const std::uint32_t distance = Value(buf, static_cast<std::int32_t>(d) >> 8, d & 31);
        buf <<= d & 31;
        left -= d & 31;
        e = Lookup(buf);
        refill();
        if (distance > static_cast<std::uint32_t>(out - output)) continue;  // before the chunk: skipped
        CopyWithOverrun(out, distance, length);
        out += length;
    }
    tail = static_cast<std::uint64_t>(buf) << (64 - kWordBits<Word>);
    return true;
}

}  // namespace

namespace lzdetail {

template <typename Word>
void DecodeChunkWith(const std::uint8_t* input, std::uint8_t* output, std::uint32_t& bitcount) {
    const std::uint64_t nbits = bitcount;
    bitcount = 0;
    if (nbits == 0) return;
    const std::uint8_t* in = input;
    const std::uint8_t* const in_end = input + (nbits + 7) / 8;
    std::uint8_t* out = output;
    std::uint8_t* const out_end = output + kMaxChunkBytes;
    std::uint64_t buf = 0;
    unsigned left = 0;
    if (!FastLoop<Word>(in, in_end, output, out, buf, left)) goto done;

    // Tail loop: one token per turn, each checked against the bit count and
    // the cap.  `pos` counts the bits taken.
    {
        std::uint64_t pos = static_cast<std::uint64_t>(in - input) * 8 - left;
        while (pos < nbits) {
            while (left <= 56) {
                if (in == in_end) {
                    left = 64;  // all input is in; the rest of the buffer is zeros
                    break;
                }
                buf |= std::uint64_t{*in++} << (56 - left);
                left += 8;
            }
            const std::uint32_t e = Lookup(buf);
            if (e & kLiteral) {
                if (out == out_end) break;
                *out++ = static_cast<std::uint8_t>(Literal(e));
                buf <<= Taken(e);
                left -= Taken(e);
                pos += Taken(e);
                continue;
            }
            if (e & kEnd) break;
            const std::uint32_t length = Length(buf, e);
            buf <<= Taken(e);
            const std::uint32_t d = DistanceEntry(buf);
            const std::uint32_t distance = Value(buf, static_cast<std::int32_t>(d) >> 8, d & 31);
            buf <<= d & 31;
            left -= Taken(e) + (d & 31);
            pos += Taken(e) + (d & 31);
            if (distance > static_cast<std::uint32_t>(out - output)) continue;
            const std::uint32_t room = static_cast<std::uint32_t>(out_end - out);
            const std::uint32_t n = length < room ? length : room;
            const std::uint8_t* src = out - distance;
            for (std::uint32_t i = 0; i < n; ++i) out[i] = src[i];
            out += n;
            if (out == out_end) break;
        }
    }
done:
    bitcount = static_cast<std::uint32_t>(out - output);
}

}  // namespace lzdetail
}  // namespace payload
