// Most-significant-bit-first bit writer for the LZ chunk stream.
#pragma once

#include <cstdint>
#include <vector>

namespace lz {

class BitWriter {
public:
    explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out) {}

    // Appends the low `count` (0..32) bits of `code`, most significant first.
    // Bits are stored four bytes at a time, so at most 31 wait in acc_
    // before a put and 63 after it.
    void Put(std::uint32_t code, unsigned count) {
        acc_ = (acc_ << count) | code;
        pending_ += count;
        bits_ += count;
        if (pending_ >= 32) {
            pending_ -= 32;
            const auto word = static_cast<std::uint32_t>(acc_ >> pending_);
            const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(word >> 24), static_cast<std::uint8_t>(word >> 16),
                                           static_cast<std::uint8_t>(word >> 8), static_cast<std::uint8_t>(word)};
            out_.insert(out_.end(), bytes, bytes + 4);
        }
    }

    // Pads with zero bits to a whole number of 8-byte blocks; answers the
    // number of bits put before the padding.
    std::uint32_t FinishBlocks() {
        const std::uint32_t total = bits_;
        while (pending_ >= 8) {
            pending_ -= 8;
            out_.push_back(static_cast<std::uint8_t>(acc_ >> pending_));
        }
        if (pending_ > 0) out_.push_back(static_cast<std::uint8_t>(acc_ << (8 - pending_)));
        pending_ = 0;
        while (out_.size() % 8 != 0) out_.push_back(0);
        return total;
    }

private:
    std::vector<std::uint8_t>& out_;
    std::uint64_t acc_ = 0;   // the low `pending_` bits are not yet stored
    unsigned pending_ = 0;
    std::uint32_t bits_ = 0;
};

}  // namespace lz
