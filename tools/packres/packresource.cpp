#include "tools/packres/packresource.hpp"

#include "payload/lzmadecoder.hpp"
#include "payload/packedresource.hpp"
#include "payload/sacformat.hpp"
#include "payload/tsmufflz.hpp"
#include "tools/lz/lzencoder.hpp"

#include <algorithm>
#include <cstring>

#if TALLOWIN_HAVE_LIBLZMA
#include <lzma.h>
#endif

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

bool LzmaPackingSupported() { return TALLOWIN_HAVE_LIBLZMA != 0; }

bool PackResourceLzma(const std::vector<std::uint8_t>& data, std::vector<std::uint8_t>& out, std::string& error) {
#if !TALLOWIN_HAVE_LIBLZMA
    (void)data;
    (void)out;
    error = "this packer was built without liblzma";
    return false;
#else
    if (data.size() > kMaxPackedBytes) {
        error = "the resource is larger than " + std::to_string(kMaxPackedBytes) + " bytes";
        return false;
    }
    lzma_options_lzma options;
    lzma_lzma_preset(&options, 9 | LZMA_PRESET_EXTREME);
    options.dict_size = std::max<std::uint32_t>(static_cast<std::uint32_t>(data.size()), kMinLzmaDictionary);
    const lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_stream stream = LZMA_STREAM_INIT;
    if (lzma_raw_encoder(&stream, filters) != LZMA_OK) {
        error = "liblzma cannot make its encoder";
        return false;
    }
    out.assign(kPackedLzmaMark, kPackedLzmaMark + sizeof kPackedLzmaMark);
    const auto total = static_cast<std::uint32_t>(data.size());
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(total >> shift));
    LzmaProperties properties;
    properties.lc = options.lc;
    properties.lp = options.lp;
    properties.pb = options.pb;
    out.push_back(LzmaPropertiesByte(properties));
    std::vector<std::uint8_t> piece(1 << 16);
    stream.next_in = data.data();
    stream.avail_in = data.size();
    lzma_ret ret;
    do {
        stream.next_out = piece.data();
        stream.avail_out = piece.size();
        ret = lzma_code(&stream, LZMA_FINISH);
        out.insert(out.end(), piece.data(), piece.data() + (piece.size() - stream.avail_out));
    } while (ret == LZMA_OK);
    lzma_end(&stream);
    if (ret != LZMA_STREAM_END) {
        error = "liblzma failed to code the resource";
        return false;
    }
    // Expanded again by the stub's decoder before it is kept.
    struct Whole final : LzmaInput {
        const std::uint8_t* bytes;
        std::size_t size;
        bool given = false;
        bool Fill(const std::uint8_t*& d, std::size_t& n) override {
            if (given || size == 0) return false;
            given = true;
            d = bytes;
            n = size;
            return true;
        }
    } input;
    input.bytes = out.data() + kPackedHeaderSize + 1;
    input.size = out.size() - kPackedHeaderSize - 1;
    LzmaDecoder decoder;
    std::vector<std::uint8_t> check(data.size());
    std::size_t got = 0;
    if (!decoder.Begin(properties, options.dict_size, data.size(), input) ||
        decoder.Decode(check.data(), check.size(), got) != LzmaResult::Done || check != data) {
        error = "the LZMA encoder produced a stream that does not expand to its input";
        return false;
    }
    return true;
#endif
}

}  // namespace packres
