// The LZ encoder: turns one piece of a file (at most 65,536 bytes) into the
// LZ chunk stream that payload::tsmufflz::DecodeChunk expands again.
//
// References stay inside the piece (the decoder starts every chunk empty),
// with lengths 3..259 and distances 1..65,536.  Levels trade time for size:
//
//   1..3  greedy parse, hash chains of 4, 8, 32 candidates
//   4..8  lazy parse (a match is deferred when the next byte starts a longer
//         one), chains of 16 to 1,024 candidates; level 6 walks 48 on chains
//         keyed on four bytes, plus the newest three-byte candidate
//   9     optimal parse: the cheapest path through the piece under the exact
//         bit costs of the fixed code, in one pass, over the nearest match of
//         every length from a binary-tree match finder (48 nodes a walk)
//
// The stream is written most significant bit first and padded with zero bits
// to whole 8-byte blocks, the unit the archive stores.  Whether to keep the
// LZ stream or store the piece plain is the caller's choice; LzShrinks says
// whether the stream is the smaller of the two.
//
// Note for archive writers: an empty piece encodes to 0 bits, and a chunk of
// bit count 0 ends its entry; store an empty file as that single chunk.
#pragma once

#include "payload/sacformat.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace lz {

// A piece is one chunk of the archive.
inline constexpr std::size_t kMaxPieceBytes = payload::kMaxChunkBytes;
inline constexpr int kMinLevel = 1;
inline constexpr int kMaxLevel = 9;
// The level a build uses unless told otherwise.
inline constexpr int kDefaultLevel = 6;


// True when an LZ stream of `bitcount` bits takes fewer stored bytes than
// the `size` bytes it encodes would as a plain chunk.
constexpr bool LzShrinks(std::uint32_t bitcount, std::size_t size) {
    return payload::ChunkPayloadBytes(bitcount) < payload::ChunkPayloadBytes(static_cast<std::int64_t>(size) * 8);
}

// Encodes pieces one after another, reusing its working memory (about
// 2.3 MB at level 9, 0.4 MB below).  Not for use by two threads at once.
class LzEncoder {
public:
    LzEncoder();
    ~LzEncoder();
    LzEncoder(const LzEncoder&) = delete;
    LzEncoder& operator=(const LzEncoder&) = delete;

    // Replaces `out` with the stream of data[0..size) padded to 8-byte
    // blocks and returns its exact length in bits.  Throws
    // std::invalid_argument for size > kMaxPieceBytes or a level outside
    // kMinLevel..kMaxLevel.
    std::uint32_t Encode(const std::uint8_t* data, std::size_t size, int level, std::vector<std::uint8_t>& out);

private:
    struct Work;
    std::unique_ptr<Work> work_;
};

// One-off form of LzEncoder::Encode.
std::uint32_t EncodeLzChunk(const std::uint8_t* data, std::size_t size, int level, std::vector<std::uint8_t>& out);

}  // namespace lz
