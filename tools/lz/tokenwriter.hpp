// Writes literal and reference tokens in the fixed code.
#pragma once

#include "tools/lz/bitwriter.hpp"
#include "tools/lz/tokencode.hpp"

namespace lz {

class TokenWriter {
public:
    explicit TokenWriter(std::vector<std::uint8_t>& out) : bits_(out) {}

    void Literal(std::uint8_t b) { bits_.Put(code::LiteralCode(b), code::LiteralCodeBits(b)); }

    // One token of at most 32 bits: length code, length extra, distance
    // code, distance extra.
    void Reference(std::uint32_t length, std::uint32_t distance) {
        const int k = kLengthSymbol[length];
        const unsigned d = DistanceSymbol(distance);
        const unsigned e = code::kLengthExtra[k];
        const unsigned f = code::kDistanceExtra[d];
        std::uint32_t word = code::LengthCode(k);
        word = (word << e) | (length - code::kLengthBase[k]);
        word = (word << code::kDistanceCodeBits) | d;
        word = (word << f) | (distance - code::kDistanceBase[d]);
        bits_.Put(word, code::LengthCodeBits(k) + e + code::kDistanceCodeBits + f);
    }

    std::uint32_t Finish() { return bits_.FinishBlocks(); }

private:
    BitWriter bits_;
};

}  // namespace lz
