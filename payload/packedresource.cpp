#include "payload/packedresource.hpp"

#include "payload/extractsteps.hpp"
#include "payload/sacformat.hpp"
#include "payload/tsmufflz.hpp"

#include <cstring>

namespace payload {

std::vector<std::uint8_t> ExpandPacked(const std::uint8_t* packed, std::size_t size) {
    std::vector<std::uint8_t> out;
    if (size < kPackedHeaderSize || std::memcmp(packed, kPackedMark, sizeof kPackedMark) != 0) return out;
    std::uint32_t total = 0;
    std::memcpy(&total, packed + 4, sizeof total);
    if (total > kMaxPackedBytes) return out;

    // The decoder may write up to a whole chunk: give it a buffer of its own.
    std::vector<std::uint8_t> piece(kTransferBufferSize);
    std::vector<std::uint8_t> expanded;
    expanded.reserve(total);
    std::size_t at = kPackedHeaderSize;
    const tsmufflz decoder;
    for (;;) {
        tchunkheader chunk{};
        if (size - at < kChunkHeaderSize) return out;
        std::memcpy(&chunk, packed + at, kChunkHeaderSize);
        at += kChunkHeaderSize;
        if (!ChunkHeaderFits(chunk)) return out;
        const auto stored = static_cast<std::size_t>(ChunkPayloadBytes(chunk.bitcount));
        if (size - at < stored) return out;
        std::uint32_t bytes = 0;
        const std::uint8_t* data = ChunkBytes(chunk, decoder, packed + at, piece.data(), bytes);
        at += stored;
        if (bytes > total - expanded.size()) return out;
        expanded.insert(expanded.end(), data, data + bytes);
        if (chunk.lastflag == 1 || chunk.bitcount == 0) break;
    }
    if (expanded.size() != total) return out;
    return expanded;
}

}  // namespace payload
