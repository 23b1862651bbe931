// The solid payload's LZMA decoder and x86 filter: streams from liblzma's
// encoder (where the build has it) decode to their input, in any piece
// size; damaged and hostile streams end as Corrupt without reading or
// writing outside the buffers.
#include "payload/lzmadecoder.hpp"
#include "payload/solidstream.hpp"
#include "payload/x86filter.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#if TALLOWIN_HAVE_LIBLZMA
#include <lzma.h>
#endif

using payload::LzmaDecoder;
using payload::LzmaInput;
using payload::LzmaProperties;
using payload::LzmaResult;
using Bytes = std::vector<std::uint8_t>;

namespace {

// Hands the stream over in pieces of `piece` bytes.
class PieceInput final : public LzmaInput {
public:
    PieceInput(const Bytes& bytes, std::size_t piece) : bytes_(bytes), piece_(piece) {}
    bool Fill(const std::uint8_t*& data, std::size_t& size) override {
        if (at_ >= bytes_.size()) return false;
        size = std::min(piece_, bytes_.size() - at_);
        // Each piece in a buffer of its own size, so a read past it is caught.
        current_.assign(bytes_.begin() + static_cast<std::ptrdiff_t>(at_),
                        bytes_.begin() + static_cast<std::ptrdiff_t>(at_ + size));
        data = current_.data();
        at_ += size;
        return true;
    }

private:
    const Bytes& bytes_;
    std::size_t piece_;
    std::size_t at_ = 0;
    Bytes current_;
};

struct Decoded {
    LzmaResult result = LzmaResult::Corrupt;
    Bytes bytes;
};

// Decodes `packed` into `unpacked` bytes, `want` at a time, then the x86
// filter when asked, as the installer's block stream does.
Decoded Decode(const Bytes& packed, std::uint64_t unpacked, const LzmaProperties& properties, std::uint32_t dictionary,
               std::size_t want = 65536, std::size_t inpiece = 65536, bool x86 = false) {
    Decoded d;
    PieceInput input(packed, inpiece);
    LzmaDecoder decoder;
    if (!decoder.Begin(properties, dictionary, unpacked, input)) return d;
    Bytes piece(want + 1, 0xEE);
    for (int guard = 0; guard < 100000000; ++guard) {
        std::size_t got = 0;
        d.result = decoder.Decode(piece.data(), want, got);
        EXPECT_LE(got, want);
        EXPECT_EQ(piece[want], 0xEE) << "wrote past the piece";
        d.bytes.insert(d.bytes.end(), piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(got));
        if (d.result != LzmaResult::More) break;
    }
    if (x86) {
        payload::X86Filter filter;
        filter.Decode(d.bytes.data(), d.bytes.size());
    }
    return d;
}

Bytes Random(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes out(n);
    for (auto& b : out) b = static_cast<std::uint8_t>(rng());
    return out;
}

#if TALLOWIN_HAVE_LIBLZMA
Bytes TextLike(std::size_t n, unsigned seed) {
    static const char* words[] = {"install", "folder ", "the ", "program", "\r\n", "file", "setup ", "version 1.2 "};
    std::mt19937 rng(seed);
    Bytes out;
    while (out.size() < n) {
        const char* w = words[rng() % 8];
        out.insert(out.end(), w, w + std::strlen(w));
    }
    out.resize(n);
    return out;
}


// Code-like bytes: many E8/E9 opcodes with near targets, all the filter's cases.
Bytes CodeLike(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    static const std::uint8_t pool[] = {0xE8, 0xE9, 0x00, 0xFF, 0x8B, 0x45, 0x0F, 0xE8, 0x00, 0xFF};
    Bytes out(n);
    for (auto& b : out) b = rng() % 3 ? pool[rng() % sizeof pool] : static_cast<std::uint8_t>(rng());
    return out;
}

#endif

TEST(LzmaProperties, RefusesWhatTheDecoderDoesNotKeepSmall) {
    LzmaProperties p;
    EXPECT_TRUE(payload::ParseLzmaProperties(0x5D, p));  // lc 3, lp 0, pb 2
    EXPECT_EQ(p.lc, 3u);
    EXPECT_EQ(p.lp, 0u);
    EXPECT_EQ(p.pb, 2u);
    EXPECT_EQ(payload::LzmaPropertiesByte(p), 0x5D);
    EXPECT_FALSE(payload::ParseLzmaProperties(225, p));            // no such byte
    EXPECT_FALSE(payload::ParseLzmaProperties((0 * 5 + 1) * 9 + 4, p));  // lc 4 + lp 1
    EXPECT_FALSE(payload::ParseLzmaProperties(8, p));              // lc 8
    LzmaDecoder decoder;
    Bytes stream(16, 0);
    PieceInput input(stream, 16);
    EXPECT_FALSE(decoder.Begin({}, payload::kMaxSolidDictionary + 1, 100, input)) << "a dictionary above the cap";
}

TEST(LzmaDecoder, HostileStreamsEndAsCorrupt) {
    const LzmaProperties p;
    // The range coder's first byte must be zero.
    EXPECT_EQ(Decode(Bytes{1, 0, 0, 0, 0, 0, 0}, 1, p, 4096).result, LzmaResult::Corrupt);
    // No input at all, or less than the coder's five bytes.
    EXPECT_EQ(Decode(Bytes{}, 1, p, 4096).result, LzmaResult::Corrupt);
    EXPECT_EQ(Decode(Bytes{0, 0}, 1, p, 4096).result, LzmaResult::Corrupt);
    // Random streams claiming a large size: whatever they decode to, they
    // end in a refusal, never past the buffers (AddressSanitizer in the fuzz
    // build, the guard byte here).
    for (unsigned seed = 0; seed < 200; ++seed) {
        Bytes stream = Random(64 + seed * 7, seed);
        stream[0] = 0;
        const Decoded d = Decode(stream, 1u << 20, p, 1u << 16, 4096, 13);
        EXPECT_EQ(d.result, LzmaResult::Corrupt) << seed;
        EXPECT_LT(d.bytes.size(), 1u << 20) << seed;
    }
}

TEST(X86Filter, KeepsTheLastFourBytesForTheNextPiece) {
    payload::X86Filter filter;
    Bytes short4 = {0xE8, 1, 2, 3};
    EXPECT_EQ(filter.Decode(short4.data(), short4.size()), 0u);
    // A call at position 0 whose absolute target 0x105 becomes relative 0x100.
    payload::X86Filter fresh;
    Bytes call = {0xE8, 0x05, 0x01, 0x00, 0x00, 0x90};
    EXPECT_EQ(fresh.Decode(call.data(), call.size()), 5u);
    EXPECT_EQ(call, (Bytes{0xE8, 0x00, 0x01, 0x00, 0x00, 0x90}));
}

#if TALLOWIN_HAVE_LIBLZMA

// liblzma's raw encoder: LZMA1 (with its end marker, as the builder writes)
// or LZMA1 without the marker, optionally after its x86 filter.
Bytes Encode(const Bytes& data, const LzmaProperties& p, std::uint32_t dictionary, bool x86, bool marker = true,
             std::uint32_t preset = 6) {
    lzma_options_lzma options;
    lzma_lzma_preset(&options, preset);
    options.dict_size = dictionary;
    options.lc = p.lc;
    options.lp = p.lp;
    options.pb = p.pb;
    if (!marker) {
        options.ext_flags = 0;
        options.ext_size_low = static_cast<std::uint32_t>(data.size());
        options.ext_size_high = static_cast<std::uint32_t>(static_cast<std::uint64_t>(data.size()) >> 32);
    }
    lzma_filter filters[3];
    int n = 0;
    if (x86) filters[n++] = {LZMA_FILTER_X86, nullptr};
    filters[n++] = {marker ? LZMA_FILTER_LZMA1 : LZMA_FILTER_LZMA1EXT, &options};
    filters[n] = {LZMA_VLI_UNKNOWN, nullptr};
    lzma_stream s = LZMA_STREAM_INIT;
    EXPECT_EQ(lzma_raw_encoder(&s, filters), LZMA_OK);
    Bytes out(data.size() + data.size() / 2 + 4096);
    s.next_in = data.data();
    s.avail_in = data.size();
    s.next_out = out.data();
    s.avail_out = out.size();
    EXPECT_EQ(lzma_code(&s, LZMA_FINISH), LZMA_STREAM_END);
    out.resize(out.size() - s.avail_out);
    lzma_end(&s);
    return out;
}

TEST(LzmaDecoder, DecodesTheReferenceEncodersStreams) {
    struct Case {
        const char* name;
        Bytes data;
        LzmaProperties p;
        std::uint32_t dictionary;
    };
    Bytes mixed = TextLike(300000, 1);
    const Bytes noise = Random(70000, 2);
    mixed.insert(mixed.begin() + 1000, noise.begin(), noise.end());
    Bytes runs(1 << 20, 0);  // long matches, the longest lengths
    runs[5000] = 7;
    std::vector<Case> cases = {
        {"empty", {}, {}, 4096},
        {"one byte", {42}, {}, 4096},
        {"text", TextLike(200000, 3), {}, 1 << 20},
        {"random", Random(100000, 4), {}, 1 << 20},
        {"runs", runs, {}, 1 << 20},
        // A dictionary far smaller than the data: the window wraps round.
        {"small window", mixed, {}, 4096},
        {"lc0 lp2 pb0", mixed, {0, 2, 0}, 1 << 16},
        {"lc4 pb4", mixed, {4, 0, 4}, 1 << 16},
    };
    for (const Case& c : cases) {
        for (const bool marker : {true, false}) {
            const Bytes packed = Encode(c.data, c.p, c.dictionary, false, marker);
            for (const std::size_t want : {std::size_t{65536}, std::size_t{1}, std::size_t{4093}}) {
                if (want == 1 && c.data.size() > 300000) continue;
                const Decoded d = Decode(packed, c.data.size(), c.p, c.dictionary, want, want == 1 ? 1 : 65536);
                EXPECT_EQ(d.result, LzmaResult::Done) << c.name << " marker " << marker << " want " << want;
                EXPECT_TRUE(d.bytes == c.data) << c.name << " marker " << marker << " want " << want;
            }
        }
    }
}

TEST(LzmaDecoder, RefusesAStreamOfAnotherSizeOrCutShort) {
    const Bytes data = TextLike(50000, 5);
    const LzmaProperties p;
    const Bytes packed = Encode(data, p, 1 << 16, false);
    // Claimed shorter: the stream goes on where it should end.
    EXPECT_EQ(Decode(packed, data.size() - 1, p, 1 << 16).result, LzmaResult::Corrupt);
    // Claimed longer: the end marker comes too early.
    EXPECT_EQ(Decode(packed, data.size() + 1, p, 1 << 16).result, LzmaResult::Corrupt);
    // Every cut of the stream, and damaged bytes, end as Corrupt or (for a
    // flip the coder absorbs) with other bytes; never with more than claimed.
    for (std::size_t cut = 0; cut + 1 < packed.size(); cut += 97) {
        const Bytes shorter(packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(cut));
        EXPECT_EQ(Decode(shorter, data.size(), p, 1 << 16).result, LzmaResult::Corrupt) << cut;
    }
    std::mt19937 rng(6);
    for (int i = 0; i < 100; ++i) {
        Bytes damaged = packed;
        damaged[1 + rng() % (damaged.size() - 1)] ^= static_cast<std::uint8_t>(1 + rng() % 255);
        const Decoded d = Decode(damaged, data.size(), p, 1 << 16, 777, 31);
        EXPECT_LE(d.bytes.size(), data.size());
        if (d.result == LzmaResult::Done) {
            EXPECT_EQ(d.bytes.size(), data.size());
        }
    }
}

TEST(X86Filter, UndoesTheReferenceEncodersFilterInAnyPieces) {
    for (unsigned seed = 0; seed < 4; ++seed) {
        const Bytes code = CodeLike(200000 + seed, seed);
        const LzmaProperties p;
        const Bytes packed = Encode(code, p, 1 << 20, true);
        // Whole, as one piece.
        EXPECT_TRUE(Decode(packed, code.size(), p, 1 << 20, 1 << 20, 65536, true).bytes == code) << seed;
        // In pieces, the last four bytes of each carried to the next.
        const Decoded raw = Decode(packed, code.size(), p, 1 << 20);
        ASSERT_EQ(raw.result, LzmaResult::Done);
        Bytes out, buffer;
        payload::X86Filter filter;
        std::size_t at = 0;
        std::mt19937 rng(seed);
        while (at < raw.bytes.size()) {
            const std::size_t n = std::min<std::size_t>(1 + rng() % 9000, raw.bytes.size() - at);
            buffer.insert(buffer.end(), raw.bytes.begin() + static_cast<std::ptrdiff_t>(at),
                          raw.bytes.begin() + static_cast<std::ptrdiff_t>(at + n));
            at += n;
            const std::size_t final = filter.Decode(buffer.data(), buffer.size());
            ASSERT_LE(buffer.size() - final, 4u);
            out.insert(out.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(final));
            buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(final));
        }
        out.insert(out.end(), buffer.begin(), buffer.end());
        EXPECT_TRUE(out == code) << seed;
    }
}

// The installer's block stream: a block far larger than its dictionary,
// decoded on the stream's worker while the reader takes it in pieces of
// every size, so the worker keeps waiting for the reader's room; then
// begun again halfway, and read past its end.
TEST(SolidStream, ReadsABlockLargerThanItsDictionaryAsItIsDecodedAhead) {
    Bytes data = TextLike(400000, 8);
    const Bytes noise = Random(90000, 9);
    data.insert(data.begin() + 150000, noise.begin(), noise.end());
    const LzmaProperties p;
    const Bytes packed = Encode(data, p, 4096, false, false);
    const std::filesystem::path path = std::filesystem::temp_directory_path() / "tallowin-solidstream-test.bin";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        const Bytes before(100, 0x5A);
        out.write(reinterpret_cast<const char*>(before.data()), 100);
        out.write(reinterpret_cast<const char*>(packed.data()), static_cast<std::streamsize>(packed.size()));
    }
    payload::SolidBlock block;
    block.record.packedsize = packed.size();
    block.record.unpackedsize = data.size();
    block.record.dictionary = 4096;
    block.record.properties = payload::LzmaPropertiesByte(p);
    block.record.filter = payload::kSolidFilterNone;
    block.packedoffset = 60;
    payload::SolidStream stream;
    stream.Attach(path.u16string(), 40);
    std::mt19937 rng(10);
    for (const std::size_t stopat : {data.size(), data.size() / 2}) {
        ASSERT_EQ(stream.Begin(block, 0), payload::SolidStream::Status::Ok);
        Bytes got;
        while (got.size() < stopat) {
            const std::uint32_t want = rng() % 4 == 0 ? 65536 : 1 + rng() % 5000;
            const std::uint8_t* bytes = nullptr;
            std::uint32_t count = 0;
            ASSERT_EQ(stream.Take(want, bytes, count), payload::SolidStream::Status::Ok) << got.size();
            ASSERT_GT(count, 0u);
            ASSERT_LE(count, want);
            got.insert(got.end(), bytes, bytes + count);
        }
        EXPECT_EQ(stream.position(), got.size());
        EXPECT_TRUE(std::equal(got.begin(), got.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(got.size())));
        if (stopat == data.size()) {
            const std::uint8_t* bytes = nullptr;
            std::uint32_t count = 0;
            EXPECT_EQ(stream.Take(1, bytes, count), payload::SolidStream::Status::Corrupt) << "past the block's end";
            EXPECT_FALSE(stream.Started());
        }
    }
    // The installer file cut short inside the block: a short read, told
    // apart from a broken stream.
    stream.Attach(u"", 0);  // lets the file go
    std::filesystem::resize_file(path, 100 + packed.size() - 1000);
    stream.Attach(path.u16string(), 40);
    ASSERT_EQ(stream.Begin(block, 0), payload::SolidStream::Status::Ok);
    payload::SolidStream::Status status = payload::SolidStream::Status::Ok;
    for (int guard = 0; guard < 1000 && status == payload::SolidStream::Status::Ok; ++guard) {
        const std::uint8_t* bytes = nullptr;
        std::uint32_t count = 0;
        status = stream.Take(65536, bytes, count);
    }
    EXPECT_EQ(status, payload::SolidStream::Status::ShortRead);
    stream.Attach(u"", 0);
    std::filesystem::remove(path);
}

#endif

}  // namespace
