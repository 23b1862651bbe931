// Hand-assembled installers for the archive tests: every byte of the
// archive under the test's control, so that damaged and unusual layouts
// can be made as easily as good ones.
#pragma once

#include "payload/sacformat.hpp"
#include "payload/trailerwriter.hpp"
#include "tools/lz/lzencoder.hpp"

#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace archive_testing {

using Bytes = std::vector<std::uint8_t>;

inline Bytes RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& x : b) x = static_cast<std::uint8_t>(rng());
    return b;
}

// Text-like bytes that LZ shrinks well.
inline Bytes TextBytes(std::size_t n, unsigned seed) {
    static const char* words[] = {"alpha ", "beta ", "gamma ", "delta\r\n", "epsilon ", "zeta "};
    std::mt19937 rng(seed);
    Bytes b;
    while (b.size() < n) {
        const char* w = words[rng() % 6];
        b.insert(b.end(), w, w + std::strlen(w));
    }
    b.resize(n);
    return b;
}

inline void AppendChunkHeader(Bytes& out, std::uint8_t mark, std::uint8_t lzflag, std::int32_t bitcount,
                              std::uint8_t lastflag) {
    payload::tchunkheader h{};
    h.mark = mark;
    h.lzflag = lzflag;
    h.bitcount = bitcount;
    h.lastflag = lastflag;
    const auto* p = reinterpret_cast<const std::uint8_t*>(&h);
    out.insert(out.end(), p, p + sizeof h);
}

// A plain chunk: header, the bytes, zero padding to whole 8-byte blocks.
inline void AppendPlainChunk(Bytes& out, const Bytes& data, bool last) {
    AppendChunkHeader(out, payload::kChunkMark, 0, static_cast<std::int32_t>(data.size() * 8), last ? 1 : 0);
    out.insert(out.end(), data.begin(), data.end());
    out.resize(out.size() + (8 - data.size() % 8) % 8, 0);
}

// An LZ chunk made by the encoder; throws when LZ would not shrink `data`.
inline void AppendLzChunk(Bytes& out, const Bytes& data, bool last) {
    Bytes stream;
    const std::uint32_t bits = lz::EncodeLzChunk(data.data(), data.size(), 6, stream);
    if (!lz::LzShrinks(bits, data.size())) throw std::logic_error("test data does not compress");
    AppendChunkHeader(out, payload::kChunkMark, 1, static_cast<std::int32_t>(bits), last ? 1 : 0);
    stream.resize(static_cast<std::size_t>(payload::ChunkPayloadBytes(bits)));
    out.insert(out.end(), stream.begin(), stream.end());
}

// One entry: its record (dataoffset is filled in unless `keepoffset`) and
// the bytes of its chunks.
struct RawEntry {
    payload::tsacentry record{};
    Bytes chunks;
    bool keepoffset = false;

    RawEntry(const std::u16string& name, const std::u16string& subfolder, std::int64_t filesize) {
        std::memset(&record, 0, sizeof record);
        if (!payload::WriteWideField(record.filename, name) || !payload::WriteWideField(record.subfolder, subfolder))
            throw std::logic_error("name too long for a test entry");
        record.filesize = filesize;
        record.attributes = 0x20;
    }
};

struct RawInstaller {
    Bytes stub = Bytes(1000, 0x4D);
    payload::tsacheader header{};
    std::vector<RawEntry> entries;
    bool overrideCount = false;
    std::int32_t entrycount = 0;
    std::string license;
    char footermark[4] = {'S', 'A', 'C', '1'};

    RawInstaller() {
        std::memset(&header, 0, sizeof header);
        std::memcpy(header.mark, payload::kSacMark, 4);
        header.reserved4 = 4;
        header.compressed = 1;
    }

    // The whole installer file.  Offsets follow the layout; the trailer
    // points at the archive and the license.
    Bytes Assemble() const {
        Bytes out = stub;
        const std::int64_t archiveoffset = static_cast<std::int64_t>(out.size());
        const auto* h = reinterpret_cast<const std::uint8_t*>(&header);
        out.insert(out.end(), h, h + sizeof header);
        std::vector<payload::tsacentry> records;
        for (const RawEntry& e : entries) {
            payload::tsacentry r = e.record;
            if (!e.keepoffset) r.dataoffset = static_cast<std::int64_t>(out.size()) - archiveoffset;
            out.insert(out.end(), e.chunks.begin(), e.chunks.end());
            records.push_back(r);
        }
        for (const payload::tsacentry& r : records) {
            const auto* p = reinterpret_cast<const std::uint8_t*>(&r);
            out.insert(out.end(), p, p + sizeof r);
        }
        payload::tsacfooter footer{};
        std::memcpy(footer.mark, footermark, 4);
        footer.entrycount = overrideCount ? entrycount : static_cast<std::int32_t>(entries.size());
        const auto* f = reinterpret_cast<const std::uint8_t*>(&footer);
        out.insert(out.end(), f, f + sizeof footer);
        const std::int64_t licenseoffset = static_cast<std::int64_t>(out.size());
        out.insert(out.end(), license.begin(), license.end());

        payload::TrailerFields fields;
        fields.productname = "Test product";
        fields.exename = "test.exe";
        fields.archiveoffset = static_cast<std::int32_t>(archiveoffset);
        fields.licenseoffset = static_cast<std::int32_t>(licenseoffset);
        fields.haslicense = !license.empty();
        payload::tsetuptrailer trailer;
        std::string error;
        if (!payload::BuildTrailer(fields, trailer, error)) throw std::logic_error(error);
        const auto* t = reinterpret_cast<const std::uint8_t*>(&trailer);
        out.insert(out.end(), t, t + sizeof trailer);
        return out;
    }
};

inline void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

inline Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace archive_testing
