#include "tools/packres/packresource.hpp"

#include "payload/packedresource.hpp"
#include "payload/sacformat.hpp"
#include "payload/tsmufflz.hpp"
#include "tools/lz/lzencoder.hpp"

#include <algorithm>
#include <cstring>

namespace packres {

using namespace payload;

bool PackResource(const std::vector<std::uint8_t>& data, std::vector<std::uint8_t>& out, std::string& error) {
    if (data.size() > kMaxPackedBytes) {
        error = "the resource is larger than " + std::to_string(kMaxPackedBytes) + " bytes";
        return false;
    }
    out.assign(kPackedMark, kPackedMark + sizeof kPackedMark);
    const auto total = static_cast<std::uint32_t>(data.size());
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(total >> shift));

    lz::LzEncoder encoder;
    std::vector<std::uint8_t> stream, check(kTransferBufferSize);
    std::size_t at = 0;
    do {
        const std::size_t n = std::min(kMaxChunkBytes, data.size() - at);
        const std::uint8_t* piece = data.data() + at;
        tchunkheader chunk{};
        chunk.mark = kChunkMark;
        chunk.lastflag = at + n == data.size() ? 1 : 0;
        stream.clear();
        if (n > 0) {
            const std::uint32_t bits = encoder.Encode(piece, n, lz::kMaxLevel, stream);
            std::uint32_t produced = bits;
            tsmufflz().DecodeChunk(stream.data(), check.data(), produced);
            if (produced != n || std::memcmp(check.data(), piece, n) != 0) {
                error = "the LZ encoder produced a stream that does not decode to its input";
                return false;
            }
            if (lz::LzShrinks(bits, n)) {
                chunk.lzflag = 1;
                chunk.bitcount = static_cast<std::int32_t>(bits);
                stream.resize(static_cast<std::size_t>(payload::ChunkPayloadBytes(bits)));
            } else {
                stream.clear();
            }
        }
        if (chunk.lzflag == 0) {
            chunk.bitcount = static_cast<std::int32_t>(n * 8);
            stream.assign(piece, piece + n);
            stream.resize(static_cast<std::size_t>(payload::ChunkPayloadBytes(static_cast<std::int64_t>(n) * 8)), 0);
        }
        const auto* header = reinterpret_cast<const std::uint8_t*>(&chunk);
        out.insert(out.end(), header, header + sizeof chunk);
        out.insert(out.end(), stream.begin(), stream.end());
        at += n;
    } while (at < data.size());
    return true;
}

}  // namespace packres
