// LZ decoder and encoder speed and ratio, against zlib's raw deflate with
// fixed Huffman codes (Z_FIXED), the closest standard relative of the
// chunk format.
//
// Corpus: a fixed list of files that come with the build machine's Debian
// packages (text, C++ source, ELF and PE binaries), each cut to its first
// 2 MiB, then cut into 64 KiB pieces, each piece compressed on its own as
// the archive does.  Missing files are left out and named on stderr.
//
// Counters: MB/s of uncompressed bytes (decoded or encoded) and `ratio`,
// compressed bytes / input bytes (LZ streams counted in whole 8-byte blocks
// as the archive stores them).
#include "payload/tsmufflz.hpp"
#include "tools/lz/lzencoder.hpp"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kPiece = 65536;
constexpr std::size_t kFileCap = 2 << 20;

const char* const kCorpusFiles[] = {
    "/usr/share/common-licenses/GPL-3",
    "/usr/include/stdlib.h",
    "/usr/include/c++/12/bits/stl_algo.h",
    "/usr/lib/x86_64-linux-gnu/libstdc++.so.6",
    "/usr/bin/cmake",
    "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/comctl32.dll",
};

struct Corpus {
    std::vector<Bytes> pieces;
    std::size_t bytes = 0;
};

const Corpus& GetCorpus() {
    static const Corpus corpus = [] {
        Corpus c;
        for (const char* path : kCorpusFiles) {
            std::ifstream in(path, std::ios::binary);
            Bytes whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            if (whole.empty()) {
                std::fprintf(stderr, "lz_bench: %s missing, left out\n", path);
                continue;
            }
            if (whole.size() > kFileCap) whole.resize(kFileCap);
            for (std::size_t at = 0; at < whole.size(); at += kPiece) {
                const std::size_t n = std::min(kPiece, whole.size() - at);
                c.pieces.emplace_back(whole.begin() + at, whole.begin() + at + n);
                c.bytes += n;
            }
        }
        if (c.pieces.empty()) throw std::runtime_error("lz_bench: no corpus file found");
        return c;
    }();
    return corpus;
}

struct LzStream {
    Bytes data;
    std::uint32_t bits;
};

std::vector<LzStream> EncodeAll(int level) {
    lz::LzEncoder encoder;
    std::vector<LzStream> out;
    for (const Bytes& p : GetCorpus().pieces) {
        LzStream s;
        s.bits = encoder.Encode(p.data(), p.size(), level, s.data);
        out.push_back(std::move(s));
    }
    return out;
}

// Raw deflate, fixed codes, one stream per piece.
class ZlibFixed {
public:
    explicit ZlibFixed(int level) {
        if (deflateInit2(&z_, level, Z_DEFLATED, -15, 8, Z_FIXED) != Z_OK) throw std::runtime_error("deflateInit2");
    }
    ~ZlibFixed() { deflateEnd(&z_); }
    void Compress(const Bytes& in, Bytes& out) {
        out.resize(deflateBound(&z_, in.size()));
        deflateReset(&z_);
        z_.next_in = const_cast<Bytef*>(in.data());
        z_.avail_in = static_cast<uInt>(in.size());
        z_.next_out = out.data();
        z_.avail_out = static_cast<uInt>(out.size());
        if (deflate(&z_, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate");
        out.resize(out.size() - z_.avail_out);
    }

private:
    z_stream z_{};
};

std::vector<Bytes> ZlibAll(int level) {
    ZlibFixed z(level);
    std::vector<Bytes> out;
    for (const Bytes& p : GetCorpus().pieces) {
        Bytes s;
        z.Compress(p, s);
        out.push_back(std::move(s));
    }
    return out;
}

void SetCounters(benchmark::State& state, std::size_t compressed) {
    const double bytes = static_cast<double>(GetCorpus().bytes);
    state.counters["MB/s"] = benchmark::Counter(bytes * state.iterations() / 1e6, benchmark::Counter::kIsRate);
    state.counters["ratio"] = static_cast<double>(compressed) / bytes;
}

void BM_LzDecode(benchmark::State& state) {
    const auto streams = EncodeAll(static_cast<int>(state.range(0)));
    Bytes out(payload::kTransferBufferSize);
    const payload::tsmufflz decoder;
    std::size_t compressed = 0;
    for (const LzStream& s : streams) compressed += s.data.size();
    for (auto _ : state) {
        for (const LzStream& s : streams) {
            std::uint32_t n = s.bits;
            decoder.DecodeChunk(s.data.data(), out.data(), n);
            benchmark::DoNotOptimize(n);
        }
        benchmark::ClobberMemory();
    }
    // The streams must decode to the corpus, or the figures mean nothing.
    const auto& pieces = GetCorpus().pieces;
    for (std::size_t i = 0; i < streams.size(); ++i) {
        std::uint32_t n = streams[i].bits;
        decoder.DecodeChunk(streams[i].data.data(), out.data(), n);
        if (n != pieces[i].size() || !std::equal(pieces[i].begin(), pieces[i].end(), out.begin()))
            state.SkipWithError("LZ round trip failed");
    }
    SetCounters(state, compressed);
}

void BM_ZlibInflate(benchmark::State& state) {
    const auto streams = ZlibAll(static_cast<int>(state.range(0)));
    Bytes out(kPiece);
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) state.SkipWithError("inflateInit2");
    std::size_t compressed = 0;
    for (const Bytes& s : streams) compressed += s.size();
    for (auto _ : state) {
        for (const Bytes& s : streams) {
            inflateReset(&z);
            z.next_in = const_cast<Bytef*>(s.data());
            z.avail_in = static_cast<uInt>(s.size());
            z.next_out = out.data();
            z.avail_out = static_cast<uInt>(out.size());
            if (inflate(&z, Z_FINISH) != Z_STREAM_END) state.SkipWithError("inflate");
            benchmark::DoNotOptimize(z.total_out);
        }
        benchmark::ClobberMemory();
    }
    inflateEnd(&z);
    SetCounters(state, compressed);
}

void BM_LzEncode(benchmark::State& state) {
    const int level = static_cast<int>(state.range(0));
    lz::LzEncoder encoder;
    Bytes stream;
    std::size_t compressed = 0, stored = 0;
    for (auto _ : state) {
        compressed = stored = 0;
        for (const Bytes& p : GetCorpus().pieces) {
            const std::uint32_t bits = encoder.Encode(p.data(), p.size(), level, stream);
            compressed += stream.size();
            stored += lz::LzShrinks(bits, p.size()) ? stream.size() : lz::StreamBytes(p.size() * 8);
        }
        benchmark::DoNotOptimize(stream.data());
    }
    SetCounters(state, compressed);
    // With the archive's fallback to plain chunks for pieces LZ does not shrink.
    state.counters["stored"] = static_cast<double>(stored) / static_cast<double>(GetCorpus().bytes);
}

void BM_ZlibDeflate(benchmark::State& state) {
    ZlibFixed z(static_cast<int>(state.range(0)));
    Bytes stream;
    std::size_t compressed = 0;
    for (auto _ : state) {
        compressed = 0;
        for (const Bytes& p : GetCorpus().pieces) {
            z.Compress(p, stream);
            compressed += stream.size();
        }
        benchmark::DoNotOptimize(stream.data());
    }
    SetCounters(state, compressed);
}

BENCHMARK(BM_LzDecode)->Arg(6)->Arg(9)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibInflate)->Arg(6)->Arg(9)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LzEncode)->DenseRange(1, 9)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibDeflate)->Arg(6)->Arg(9)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
