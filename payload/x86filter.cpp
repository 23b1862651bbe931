#include "payload/x86filter.hpp"

namespace payload {

namespace {

// A 32-bit operand whose top byte is 0x00 or 0xFF: a near target.
bool NearTopByte(std::uint8_t byte) { return byte == 0x00 || byte == 0xFF; }

constexpr bool kMaskAllowed[8] = {true, true, true, false, true, false, false, false};
constexpr std::uint32_t kMaskToBitNumber[8] = {0, 1, 2, 2, 3, 3, 3, 3};

}  // namespace

std::size_t X86Filter::Decode(std::uint8_t* data, std::size_t size) {
    if (size < 5) return 0;
    std::uint32_t mask = previousmask_;
    std::uint32_t previous = previousposition_;
    if (position_ - previous > 5) previous = position_ - 5;
    const std::size_t limit = size - 5;
    std::size_t i = 0;
    while (i <= limit) {
        const std::uint8_t opcode = data[i];
        if (opcode != 0xE8 && opcode != 0xE9) {
            ++i;
            continue;
        }
        const std::uint32_t here = position_ + static_cast<std::uint32_t>(i);
        const std::uint32_t gap = here - previous;
        previous = here;
        if (gap > 5) {
            mask = 0;
        } else {
            for (std::uint32_t k = 0; k < gap; ++k) {
                mask &= 0x77;
                mask <<= 1;
            }
        }
        std::uint8_t top = data[i + 4];
        if (NearTopByte(top) && kMaskAllowed[(mask >> 1) & 7] && (mask >> 1) < 0x10) {
            std::uint32_t source = (static_cast<std::uint32_t>(top) << 24) | (static_cast<std::uint32_t>(data[i + 3]) << 16) |
                                   (static_cast<std::uint32_t>(data[i + 2]) << 8) | data[i + 1];
            std::uint32_t target;
            for (;;) {
                target = source - (here + 5);
                if (mask == 0) break;
                const std::uint32_t bit = kMaskToBitNumber[(mask >> 1) & 7];
                top = static_cast<std::uint8_t>(target >> (24 - bit * 8));
                if (!NearTopByte(top)) break;
                source = target ^ ((1u << (32 - bit * 8)) - 1);
            }
            data[i + 4] = static_cast<std::uint8_t>(~(((target >> 24) & 1) - 1));
            data[i + 3] = static_cast<std::uint8_t>(target >> 16);
            data[i + 2] = static_cast<std::uint8_t>(target >> 8);
            data[i + 1] = static_cast<std::uint8_t>(target);
            i += 5;
            mask = 0;
        } else {
            ++i;
            mask |= 1;
            if (NearTopByte(top)) mask |= 0x10;
        }
    }
    previousmask_ = mask;
    previousposition_ = previous;
    position_ += static_cast<std::uint32_t>(i);
    return i;
}

}  // namespace payload
