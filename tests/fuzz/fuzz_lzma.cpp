// libFuzzer target for the solid payload's LZMA decoder and x86 filter.
//
// The input is one block as the directory describes it and its stream:
//   byte 0       the LZMA properties byte (refused ones end the run)
//   bytes 1..3   the decoded size, little-endian (at most 16 MiB)
//   byte 4       bit 0: the x86 filter; bits 1..7: the dictionary, 4 KiB
//                shifted left by (value % 9)
//   the rest     the raw stream, handed over in pieces of 1,000 bytes, each
//                in a buffer of its own size so that a read past it trips
//                AddressSanitizer.
// Decoded in pieces of 4,093 bytes; the decoder must never give more bytes
// than the block claims, and a stream it calls done must have given them
// all.
#include "payload/lzmadecoder.hpp"
#include "payload/x86filter.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

class Pieces final : public payload::LzmaInput {
public:
    Pieces(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool Fill(const std::uint8_t*& data, std::size_t& size) override {
        if (at_ >= size_) return false;
        size = std::min<std::size_t>(1000, size_ - at_);
        piece_.reset(new std::uint8_t[size]);
        std::memcpy(piece_.get(), data_ + at_, size);
        at_ += size;
        data = piece_.get();
        return true;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
    std::unique_ptr<std::uint8_t[]> piece_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 5) return 0;
    payload::LzmaProperties properties;
    if (!payload::ParseLzmaProperties(data[0], properties)) return 0;
    const std::uint64_t unpacked = data[1] | (data[2] << 8) | (std::uint32_t{data[3]} << 16);
    const bool x86 = (data[4] & 1) != 0;
    const std::uint32_t dictionary = payload::kMinLzmaDictionary << ((data[4] >> 1) % 9);
    Pieces input(data + 5, size - 5);
    payload::LzmaDecoder decoder;
    if (!decoder.Begin(properties, dictionary, unpacked, input)) std::abort();
    constexpr std::size_t kWant = 4093;
    std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[kWant + 4]);
    payload::X86Filter filter;
    std::size_t tail = 0;
    std::uint64_t total = 0;
    for (;;) {
        std::size_t got = 0;
        const payload::LzmaResult result = decoder.Decode(out.get() + tail, kWant, got);
        if (got > kWant) std::abort();
        total += got;
        if (total > unpacked) std::abort();
        const std::size_t have = tail + got;
        const std::size_t final = x86 ? filter.Decode(out.get(), have) : have;
        if (final > have || have - final > 4) std::abort();
        tail = have - final;
        std::memmove(out.get(), out.get() + final, tail);
        if (result == payload::LzmaResult::Done && total != unpacked) std::abort();
        if (result != payload::LzmaResult::More) break;
    }
    return 0;
}
