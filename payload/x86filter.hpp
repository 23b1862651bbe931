// The x86 branch filter of the solid payload, decoding side.  The builder
// rewrites the 32-bit relative targets of CALL (E8) and JMP (E9)
// instructions in program files as absolute ones, so that repeated calls of
// one function become repeated bytes the coder can match; this undoes it.
// It is the conversion of the x86 filter of the xz format (start offset 0),
// so the builder may use any encoder of that filter.
//
// The stream arrives in pieces: Decode converts what it can and says how
// many leading bytes are final; an instruction that starts within the last
// four bytes waits for the next piece, which must begin with those bytes
// again.  At the stream's end the bytes left over are final as they are.
#pragma once

#include <cstddef>
#include <cstdint>

namespace payload {

class X86Filter {
public:
    // Converts `data` in place, which continues the stream where the last
    // call's final bytes ended; returns how many leading bytes are final.
    std::size_t Decode(std::uint8_t* data, std::size_t size);

private:
    std::uint32_t position_ = 0;           // stream position of the next byte to convert
    std::uint32_t previousmask_ = 0;       // which of the last bytes were E8/E9 starts not converted
    std::uint32_t previousposition_ = 0u - 5;  // position of the last E8/E9 seen
};

}  // namespace payload
