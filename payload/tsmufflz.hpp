// The LZ decoder: expands one LZ chunk of the SAC archive.
//
// A chunk's LZ stream is a run of tokens in a fixed prefix code, packed most
// significant bit first, with no header and no end symbol: the stream ends
// after `bitcount` bits.  A token is either a literal byte or a
// back-reference (length 3..259, distance 1..65,536) into the bytes this
// chunk has produced so far:
//
//   code (leading bits)      meaning
//   0000000 .. 0010111       7-bit: length symbol 0..23
//   00110000 .. 10111111     8-bit: literal 0..143
//   11000000 .. 11000101     8-bit: length symbol 24..29
//   11000110, 11000111       8-bit: length symbols 30/31, never written by
//                            the encoder; taken as the end of the stream
//   110010000 .. 111111111   9-bit: literal 144..255
//
// A length symbol is followed by its extra bits, a 5-bit distance symbol
// and the distance's extra bits; extra bits are read most significant first.
// The code tables are in payload/lzcode.hpp, shared with the encoder in
// tools/lz.
//
// Decoding is total: every bit pattern decodes to something and nothing is
// reported.  A back-reference reaching before the chunk's first byte writes
// nothing (its bits are consumed); bits past the last input byte read as
// zero; the output stops at kMaxChunkBytes whether a reference or a literal
// would carry it further.
//
// The decoder holds no state: each chunk is decoded on its own and nothing
// carries over from one call to the next, so one object may serve any
// number of chunks (and threads).
#pragma once

#include "payload/sacformat.hpp"

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace payload {

class tsmufflz {
public:
    // Most bytes one chunk decodes to: the archive's chunk limit.
    static constexpr std::uint32_t kMaxChunkBytes = payload::kMaxChunkBytes;

    // Decodes the stream of `bitcount` bits at `input` into `output`.
    // Reads at most ceil(bitcount / 8) bytes of `input` and writes at most
    // kMaxChunkBytes bytes of `output`; `input` and `output` must not
    // overlap.  On return `bitcount` holds the number of bytes written.
    void DecodeChunk(const std::uint8_t* input, std::uint8_t* output, std::uint32_t& bitcount) const;
};

// The decoder's two forms, for the tests: the bits are gathered in a 64-bit
// or a 32-bit word (DecodeChunk takes the machine's).  Both decode every
// stream the same way.
namespace lzdetail {
using MachineWord = std::conditional_t<sizeof(void*) >= 8, std::uint64_t, std::uint32_t>;
template <typename Word>
void DecodeChunkWith(const std::uint8_t* input, std::uint8_t* output, std::uint32_t& bitcount);
extern template void DecodeChunkWith<std::uint32_t>(const std::uint8_t*, std::uint8_t*, std::uint32_t&);
extern template void DecodeChunkWith<std::uint64_t>(const std::uint8_t*, std::uint8_t*, std::uint32_t&);
}  // namespace lzdetail

}  // namespace payload
