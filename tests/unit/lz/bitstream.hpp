// Test helpers for LZ streams: a builder for hand-made bit streams and a
// bit-at-a-time decoder that follows the format literally, used as an
// oracle for the table-driven decoder.
#pragma once

#include "payload/lzcode.hpp"

#include <cstdint>
#include <string_view>
#include <vector>

namespace lztest {

// Appends bits most significant first; `bytes` always holds ceil(bits / 8)
// bytes, the unused low bits of the last one zero.
class BitStream {
public:
    BitStream& Put(std::uint32_t value, unsigned count) {
        for (unsigned i = count; i-- > 0;) PutBit((value >> i) & 1);
        return *this;
    }
    // "1001 0001": '0' and '1' are bits, anything else is ignored.
    BitStream& Put(std::string_view text) {
        for (char c : text)
            if (c == '0' || c == '1') PutBit(c == '1');
        return *this;
    }
    BitStream& Literal(std::uint8_t b) { return Put(payload::lzcode::LiteralCode(b), payload::lzcode::LiteralCodeBits(b)); }
    // A reference written with explicit symbols and extra-bit values.
    BitStream& Reference(int lsym, std::uint32_t lextra, int dsym, std::uint32_t dextra) {
        using namespace payload::lzcode;
        Put(LengthCode(lsym), LengthCodeBits(lsym));
        Put(lextra, kLengthExtra[lsym]);
        Put(static_cast<std::uint32_t>(dsym), kDistanceCodeBits);
        return Put(dextra, kDistanceExtra[dsym]);
    }

    std::uint32_t bits() const { return bits_; }
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

private:
    void PutBit(bool bit) {
        if (bits_ % 8 == 0) bytes_.push_back(0);
        if (bit) bytes_.back() |= static_cast<std::uint8_t>(0x80 >> (bits_ % 8));
        ++bits_;
    }
    std::vector<std::uint8_t> bytes_;
    std::uint32_t bits_ = 0;
};

// The format read one bit at a time: literal 8/9-bit codes, references
// skipped when too far, bits past the last byte zero, output capped at
// 65,536 bytes, length symbols 30/31 ending the stream.
inline std::vector<std::uint8_t> OracleDecode(const std::uint8_t* in, std::uint32_t nbits) {
    using namespace payload::lzcode;
    const std::uint64_t nbytes = (std::uint64_t{nbits} + 7) / 8;
    std::uint64_t p = 0;
    auto bit = [&](std::uint64_t at) -> std::uint32_t {
        return at / 8 < nbytes ? (in[at / 8] >> (7 - at % 8)) & 1 : 0;
    };
    auto take = [&](unsigned count) {
        std::uint32_t v = 0;
        for (unsigned i = 0; i < count; ++i) v = (v << 1) | bit(p++);
        return v;
    };
    std::vector<std::uint8_t> out;
    while (p < nbits) {
        std::uint32_t v = take(7);
        int lsym = -1;
        if (v <= 23) {
            lsym = static_cast<int>(v);
        } else {
            v = (v << 1) | take(1);
            if (v >= 0x30 && v <= 0xBF) {
                if (out.size() == kMaxDistance) break;
                out.push_back(static_cast<std::uint8_t>(v - 0x30));
                continue;
            }
            if (v >= 0xC0 && v <= 0xC7) {
                lsym = static_cast<int>(24 + v - 0xC0);
                if (lsym >= kLengthSymbols) break;
            } else {
                v = (v << 1) | take(1);
                if (out.size() == kMaxDistance) break;
                out.push_back(static_cast<std::uint8_t>(v - 0x190 + 144));
                continue;
            }
        }
        const std::uint32_t length = kLengthBase[lsym] + take(kLengthExtra[lsym]);
        const std::uint32_t dsym = take(5);
        const std::uint32_t distance = kDistanceBase[dsym] + take(kDistanceExtra[dsym]);
        if (distance > out.size()) continue;
        bool full = false;
        for (std::uint32_t i = 0; i < length; ++i) {
            if (out.size() == kMaxDistance) { full = true; break; }
            out.push_back(out[out.size() - distance]);
        }
        if (full) break;
    }
    return out;
}

}  // namespace lztest
