#include "payload/packedresource.hpp"

#include "payload/extractsteps.hpp"
#include "payload/lzmadecoder.hpp"
#include "payload/sacformat.hpp"
#include "payload/tsmufflz.hpp"

#include <algorithm>
#include <cstring>

namespace payload {

namespace {

std::uint32_t Le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// The rest of the resource at once, for the LZMA form.
class WholeInput final : public LzmaInput {
public:
    WholeInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool Fill(const std::uint8_t*& data, std::size_t& size) override {
        if (given_ || size_ == 0) return false;
        given_ = true;
        data = data_;
        size = size_;
        return true;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    bool given_ = false;
};

std::vector<std::uint8_t> ExpandLzma(const std::uint8_t* packed, std::size_t size, std::uint32_t total) {
    std::vector<std::uint8_t> out;
    LzmaProperties properties;
    if (size <= kPackedHeaderSize || !ParseLzmaProperties(packed[kPackedHeaderSize], properties)) return out;
    WholeInput input(packed + kPackedHeaderSize + 1, size - kPackedHeaderSize - 1);
    LzmaDecoder decoder;
    std::vector<std::uint8_t> expanded(total);
    std::size_t got = 0;
    if (!decoder.Begin(properties, std::max<std::uint32_t>(total, kMinLzmaDictionary), total, input) ||
        decoder.Decode(expanded.data(), expanded.size(), got) != LzmaResult::Done || got != total)
        return out;
    return expanded;
}

}  // namespace

std::size_t SidePicturePixelBytes() {
    return (static_cast<std::size_t>(kSidePictureWidth) * 24 + 31) / 32 * 4 * kSidePictureHeight;
}

SidePictureFault CheckSidePicture(const std::uint8_t* bmp, std::size_t size) {
    if (size < kSidePictureHeaderBytes || bmp[0] != 'B' || bmp[1] != 'M' || Le32(bmp + 14) < 40)
        return SidePictureFault::NotBmp;
    const auto width = static_cast<std::int32_t>(Le32(bmp + 18));
    const auto height = static_cast<std::int32_t>(Le32(bmp + 22));
    const std::uint32_t planesandbits = Le32(bmp + 26);  // 16 bits each
    if (planesandbits != (24u << 16 | 1u) || Le32(bmp + 30) != 0) return SidePictureFault::NotPlain24Bit;
    if (width != kSidePictureWidth || (height != kSidePictureHeight && height != -kSidePictureHeight))
        return SidePictureFault::WrongSize;
    if (Le32(bmp + 14) != 40 || Le32(bmp + 10) != kSidePictureHeaderBytes || Le32(bmp + 46) != 0)
        return SidePictureFault::NotPixelsAfterHeader;
    if (size - kSidePictureHeaderBytes < SidePicturePixelBytes()) return SidePictureFault::CutShort;
    return SidePictureFault::None;
}

std::vector<std::uint8_t> ExpandPacked(const std::uint8_t* packed, std::size_t size) {
    std::vector<std::uint8_t> out;
    if (size < kPackedHeaderSize) return out;
    const bool lzma = std::memcmp(packed, kPackedLzmaMark, sizeof kPackedLzmaMark) == 0;
    if (!lzma && std::memcmp(packed, kPackedMark, sizeof kPackedMark) != 0) return out;
    std::uint32_t total = 0;
    std::memcpy(&total, packed + 4, sizeof total);
    if (total > kMaxPackedBytes) return out;
    if (lzma) return ExpandLzma(packed, size, total);

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
