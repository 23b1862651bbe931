// lz_bench: speed and size of the LZ chunk codec against zlib and
// libdeflate, on the same 64 KiB pieces in the same run.
//
// Corpus, gathered at start from the build machine's own files (nothing is
// committed): C/C++ headers under /usr/include, two ELF binaries, already
// compressed data (the headers deflated by zlib -9, made here) and text
// (licence and copyright files under /usr/share).  Every file is cut into
// 64 KiB pieces as the archive does, and each piece is compressed on its own.
//
// Decoding: the encoder's streams at the default level and at level 9,
// against zlib's inflate and libdeflate's deflate decompressor of the same
// pieces compressed by zlib -6 and -9 with fixed Huffman codes (Z_FIXED, the
// nearest standard relative of the chunk code).  The LZ rows read each piece
// as the archive holds it, through the extraction's own step (ChunkBytes):
// DecodeChunk of the LZ chunk, or the plain chunk the builder stores when LZ
// does not shrink the piece, as deflate falls back to stored blocks there.
// Each decoder runs over the whole corpus `--reps` times, interleaved with
// the others so that they share the machine's load; the best pass counts.
// Every decoded piece is compared with the corpus first.
//
// Checksum (with the decoders): the CRC-32 the installer runs over its
// whole payload at start-up, against zlib's crc32, over the corpus in 1 MiB
// blocks as the start-up check reads it; both must agree.
//
// Encoding: every level of the encoder, and zlib -6/-9 with fixed codes,
// best of `--encode-reps` passes.  One thread: MB/s is per core.
//
// MB/s counts uncompressed bytes (10^6 per second).  `ratio` is compressed
// bytes / input bytes, LZ streams counted in whole 8-byte blocks as the
// archive stores them; `stored` also lets pieces that LZ does not shrink be
// stored plain, as the builder does.
//
// Output: markdown tables on stdout, one line per codec; progress and
// missing files on stderr.
#include "payload/crc32.hpp"
#include "payload/extractsteps.hpp"
#include "payload/tsmufflz.hpp"
#include "tools/lz/lzencoder.hpp"

#include <zlib.h>
#if defined(TALLOWIN_HAVE_LIBDEFLATE)
#include <libdeflate.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kPiece = 65536;
constexpr std::size_t kMiB = std::size_t{1} << 20;

struct Options {
    double scale = 1.0;  // corpus size factor (--quick: 0.25)
    int reps = 7;
    int encode_reps = 2;
    bool decode = true;
    bool encode = true;
    int level = 0;  // --level N: only that encoder level (0: all, with zlib)
};

struct Piece {
    std::size_t at;  // offset into Corpus::bytes
    std::size_t size;
};

struct Corpus {
    Bytes bytes;
    std::vector<Piece> pieces;
    std::string summary;

    const std::uint8_t* data(const Piece& p) const { return bytes.data() + p.at; }
};

Bytes ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Appends one file's bytes as pieces of at most 64 KiB.
void AddFile(Corpus& c, const Bytes& file) {
    for (std::size_t at = 0; at < file.size(); at += kPiece) {
        const std::size_t n = std::min(kPiece, file.size() - at);
        c.pieces.push_back({c.bytes.size(), n});
        c.bytes.insert(c.bytes.end(), file.begin() + static_cast<std::ptrdiff_t>(at),
                       file.begin() + static_cast<std::ptrdiff_t>(at + n));
    }
}

// Regular files under `root` in path order, for a corpus that is the same
// on every run of one machine.
std::vector<fs::path> FilesUnder(const fs::path& root, bool (*keep)(const fs::path&)) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec), end;
         !ec && it != end; it.increment(ec)) {
        std::error_code fec;
        if (it->is_regular_file(fec) && !it->is_symlink(fec) && keep(it->path())) files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Adds whole files until `cap` bytes; answers the bytes added.
std::size_t AddFiles(Corpus& c, const std::vector<fs::path>& files, std::size_t cap) {
    std::size_t added = 0;
    for (const fs::path& f : files) {
        if (added >= cap) break;
        Bytes b = ReadFile(f);
        if (b.size() > cap - added) b.resize(cap - added);
        AddFile(c, b);
        added += b.size();
    }
    return added;
}

Bytes Deflate(const std::uint8_t* data, std::size_t size, int level) {
    uLongf n = compressBound(static_cast<uLong>(size));
    Bytes out(n);
    if (compress2(out.data(), &n, data, static_cast<uLong>(size), level) != Z_OK) throw std::runtime_error("compress2");
    out.resize(n);
    return out;
}

Corpus GatherCorpus(const Options& opt) {
    Corpus c;
    const auto cap = [&](double mib) { return static_cast<std::size_t>(mib * opt.scale * kMiB); };
    char line[256];

    const std::size_t headers0 = c.bytes.size();
    const std::size_t headers = AddFiles(c, FilesUnder("/usr/include", [](const fs::path&) { return true; }), cap(24));
    std::snprintf(line, sizeof line, "headers %.1f MB", headers / 1e6);
    c.summary += line;

    // Two ELF binaries, or this program when they are missing.
    std::size_t elf = 0;
    for (const char* path : {"/usr/bin/cmake", "/usr/lib/x86_64-linux-gnu/libstdc++.so.6"}) {
        std::error_code ec;
        const fs::path real = fs::canonical(path, ec);
        Bytes b = ec ? Bytes{} : ReadFile(real);
        if (b.empty()) {
            std::fprintf(stderr, "lz_bench: %s missing, this program's own binary taken instead\n", path);
            b = ReadFile("/proc/self/exe");
        }
        if (b.size() > cap(12)) b.resize(cap(12));
        AddFile(c, b);
        elf += b.size();
    }
    std::snprintf(line, sizeof line, ", ELF %.1f MB", elf / 1e6);
    c.summary += line;

    // Already compressed data: the headers deflated, in 1 MiB files.
    std::size_t packed = 0;
    {
        const std::size_t n = std::min(headers, cap(10));
        const Bytes z = Deflate(c.bytes.data() + headers0, n, 9);
        const std::size_t take = std::min(z.size(), cap(3));
        for (std::size_t at = 0; at < take; at += kMiB) {
            const std::size_t m = std::min(kMiB, take - at);
            AddFile(c, Bytes(z.begin() + static_cast<std::ptrdiff_t>(at), z.begin() + static_cast<std::ptrdiff_t>(at + m)));
        }
        packed = take;
    }
    std::snprintf(line, sizeof line, ", compressed %.1f MB", packed / 1e6);
    c.summary += line;

    std::size_t text = AddFiles(c, FilesUnder("/usr/share/common-licenses", [](const fs::path&) { return true; }), cap(1));
    text += AddFiles(c, FilesUnder("/usr/share/doc", [](const fs::path& p) { return p.filename() == "copyright"; }),
                     cap(4) - std::min(cap(4), text));
    std::snprintf(line, sizeof line, ", text %.1f MB", text / 1e6);
    c.summary += line;

    if (c.pieces.empty()) throw std::runtime_error("no corpus files found");
    return c;
}

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

struct Streams {
    std::vector<Bytes> data;
    std::vector<std::uint32_t> bits;  // LZ streams: bit count of each
    std::size_t bytes = 0;            // compressed size
    std::size_t stored = 0;           // with plain pieces where LZ does not shrink
};

Streams EncodeLz(const Corpus& c, int level) {
    lz::LzEncoder encoder;
    Streams s;
    for (const Piece& p : c.pieces) {
        Bytes out;
        const std::uint32_t bits = encoder.Encode(c.data(p), p.size, level, out);
        s.bytes += out.size();
        s.stored += lz::LzShrinks(bits, p.size) ? out.size() : static_cast<std::size_t>(payload::ChunkPayloadBytes(static_cast<std::int64_t>(p.size) * 8));
        s.data.push_back(std::move(out));
        s.bits.push_back(bits);
    }
    return s;
}

// Raw deflate with fixed codes, one stream per piece.
class ZlibFixed {
public:
    explicit ZlibFixed(int level) {
        if (deflateInit2(&z_, level, Z_DEFLATED, -15, 8, Z_FIXED) != Z_OK) throw std::runtime_error("deflateInit2");
    }
    ~ZlibFixed() { deflateEnd(&z_); }
    ZlibFixed(const ZlibFixed&) = delete;
    ZlibFixed& operator=(const ZlibFixed&) = delete;

    void Compress(const std::uint8_t* in, std::size_t size, Bytes& out) {
        out.resize(deflateBound(&z_, size));
        deflateReset(&z_);
        z_.next_in = const_cast<Bytef*>(in);
        z_.avail_in = static_cast<uInt>(size);
        z_.next_out = out.data();
        z_.avail_out = static_cast<uInt>(out.size());
        if (deflate(&z_, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate");
        out.resize(out.size() - z_.avail_out);
    }

private:
    z_stream z_{};
};

Streams EncodeZlib(const Corpus& c, int level) {
    ZlibFixed z(level);
    Streams s;
    for (const Piece& p : c.pieces) {
        Bytes out;
        z.Compress(c.data(p), p.size, out);
        s.bytes += out.size();
        s.data.push_back(std::move(out));
    }
    s.stored = s.bytes;
    return s;
}

// A piece's decoded bytes: in the output buffer, or where a plain chunk is.
struct Decoded {
    const std::uint8_t* data;
    std::size_t size;
};

// One decoder over all pieces: Run answers the bytes produced, Check
// whether they are the corpus.
struct Decoder {
    std::string name;
    const Streams* streams;
    Decoded (*run)(const Streams&, std::size_t i, std::uint8_t* out, void* state);
    void* state = nullptr;
    double best = 1e30;
};

// The archive's chunks of one encoding: each piece's header as the builder
// writes it and where its payload is.
struct LzChunks {
    std::vector<payload::tchunkheader> headers;
    std::vector<const std::uint8_t*> payloads;
    std::size_t plain = 0;

    LzChunks(const Corpus& c, const Streams& s) {
        for (std::size_t i = 0; i < c.pieces.size(); ++i) {
            const Piece& p = c.pieces[i];
            payload::tchunkheader h{};
            h.mark = payload::kChunkMark;
            h.lastflag = 1;
            if (lz::LzShrinks(s.bits[i], p.size)) {
                h.lzflag = 1;
                h.bitcount = static_cast<std::int32_t>(s.bits[i]);
                payloads.push_back(s.data[i].data());
            } else {
                h.bitcount = static_cast<std::int32_t>(p.size * 8);
                payloads.push_back(c.data(p));
                ++plain;
            }
            headers.push_back(h);
        }
    }
};

Decoded RunLz(const Streams&, std::size_t i, std::uint8_t* out, void* state) {
    static const payload::tsmufflz decoder;
    const auto* chunks = static_cast<const LzChunks*>(state);
    std::uint32_t n = 0;
    const std::uint8_t* data = payload::ChunkBytes(chunks->headers[i], decoder, chunks->payloads[i], out, n);
    return {data, n};
}

Decoded RunZlib(const Streams& s, std::size_t i, std::uint8_t* out, void* state) {
    auto* z = static_cast<z_stream*>(state);
    inflateReset(z);
    z->next_in = const_cast<Bytef*>(s.data[i].data());
    z->avail_in = static_cast<uInt>(s.data[i].size());
    z->next_out = out;
    z->avail_out = static_cast<uInt>(kPiece);
    if (inflate(z, Z_FINISH) != Z_STREAM_END) return {out, 0};
    return {out, kPiece - z->avail_out};
}

#if defined(TALLOWIN_HAVE_LIBDEFLATE)
Decoded RunLibdeflate(const Streams& s, std::size_t i, std::uint8_t* out, void* state) {
    auto* d = static_cast<libdeflate_decompressor*>(state);
    std::size_t n = 0;
    if (libdeflate_deflate_decompress(d, s.data[i].data(), s.data[i].size(), out, kPiece, &n) != LIBDEFLATE_SUCCESS)
        return {out, 0};
    return {out, n};
}
#endif

bool Check(const Corpus& c, Decoder& d, Bytes& out) {
    for (std::size_t i = 0; i < c.pieces.size(); ++i) {
        const Piece& p = c.pieces[i];
        const auto [data, n] = d.run(*d.streams, i, out.data(), d.state);
        if (n != p.size || std::memcmp(data, c.data(p), n) != 0) {
            std::fprintf(stderr, "lz_bench: %s decodes piece %zu wrongly\n", d.name.c_str(), i);
            return false;
        }
    }
    return true;
}

void TimeOnce(const Corpus& c, Decoder& d, Bytes& out) {
    const auto t0 = Clock::now();
    std::size_t total = 0;
    for (std::size_t i = 0; i < c.pieces.size(); ++i) total += d.run(*d.streams, i, out.data(), d.state).size;
    const double s = Seconds(Clock::now() - t0);
    if (total != c.bytes.size()) throw std::runtime_error(d.name + ": short output");
    d.best = std::min(d.best, s);
}

double MBps(const Corpus& c, double seconds) { return static_cast<double>(c.bytes.size()) / seconds / 1e6; }
double Ratio(const Corpus& c, std::size_t n) { return static_cast<double>(n) / static_cast<double>(c.bytes.size()); }

int Decoding(const Corpus& c, const Options& opt) {
    const int level = lz::kDefaultLevel;
    std::fprintf(stderr, "lz_bench: compressing for the decoders\n");
    const Streams lz6 = EncodeLz(c, level), lz9 = EncodeLz(c, lz::kMaxLevel);
    const Streams z6 = EncodeZlib(c, 6), z9 = EncodeZlib(c, 9);
    LzChunks chunks6(c, lz6), chunks9(c, lz9);

    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) throw std::runtime_error("inflateInit2");
    const std::string lzname = "DecodeChunk, level " + std::to_string(level);
    std::vector<Decoder> ds = {
        {lzname, &lz6, RunLz, &chunks6},
        {"DecodeChunk, level 9", &lz9, RunLz, &chunks9},
        {"zlib inflate, -6 fixed", &z6, RunZlib, &z},
        {"zlib inflate, -9 fixed", &z9, RunZlib, &z},
    };
#if defined(TALLOWIN_HAVE_LIBDEFLATE)
    libdeflate_decompressor* ld = libdeflate_alloc_decompressor();
    if (!ld) throw std::runtime_error("libdeflate_alloc_decompressor");
    ds.push_back({"libdeflate, -6 fixed", &z6, RunLibdeflate, ld});
    ds.push_back({"libdeflate, -9 fixed", &z9, RunLibdeflate, ld});
#endif

    Bytes out(payload::kTransferBufferSize);
    int failures = 0;
    for (Decoder& d : ds)
        if (!Check(c, d, out)) ++failures;
    if (failures) return 1;
    std::fprintf(stderr, "lz_bench: timing the decoders, best of %d\n", opt.reps);
    for (int r = 0; r < opt.reps; ++r)
        for (Decoder& d : ds) TimeOnce(c, d, out);

    const double zlib6 = ds[2].best;
    std::printf("\n| decoder (in memory, one core) | MB/s | vs zlib -6 | ratio |\n|---|---:|---:|---:|\n");
    for (const Decoder& d : ds)
        std::printf("| %s | %.0f | %.2fx | %.5f |\n", d.name.c_str(), MBps(c, d.best), zlib6 / d.best,
                    Ratio(c, d.streams->stored));
    inflateEnd(&z);
#if defined(TALLOWIN_HAVE_LIBDEFLATE)
    libdeflate_free_decompressor(ld);
#else
    std::printf("| libdeflate | not built (libdeflate-dev missing) | | |\n");
#endif
    std::printf("\nStored plain as LZ does not shrink them: %zu of %zu pieces at level %d, %zu at level 9 "
                "(ratio: the bytes each decoder reads).\n",
                chunks6.plain, c.pieces.size(), level, chunks9.plain);
    return 0;
}

constexpr std::size_t kBlock = kMiB;  // the start-up check's read size

int Checksums(const Corpus& c, const Options& opt) {
    struct Row {
        const char* name;
        std::uint32_t (*run)(const Bytes&);
        double best = 1e30;
        std::uint32_t crc = 0;
    };
    Row rows[] = {
        {"payload::Crc32 (start-up check)",
         [](const Bytes& b) {
             std::uint32_t crc = 0;
             for (std::size_t at = 0; at < b.size(); at += kBlock)
                 crc = payload::Crc32(crc, b.data() + at, std::min(kBlock, b.size() - at));
             return crc;
         }},
        {"zlib crc32",
         [](const Bytes& b) {
             uLong crc = crc32(0, nullptr, 0);
             for (std::size_t at = 0; at < b.size(); at += kBlock)
                 crc = crc32(crc, b.data() + at, static_cast<uInt>(std::min(kBlock, b.size() - at)));
             return static_cast<std::uint32_t>(crc);
         }},
    };
    for (int r = 0; r < opt.reps; ++r)
        for (Row& row : rows) {
            const auto t0 = Clock::now();
            row.crc = row.run(c.bytes);
            row.best = std::min(row.best, Seconds(Clock::now() - t0));
        }
    if (rows[0].crc != rows[1].crc) {
        std::fprintf(stderr, "lz_bench: CRC-32 %08x differs from zlib's %08x\n", rows[0].crc, rows[1].crc);
        return 1;
    }
    std::printf("\n| checksum (in memory, one core) | MB/s | vs zlib |\n|---|---:|---:|\n");
    for (const Row& row : rows)
        std::printf("| %s | %.0f | %.2fx |\n", row.name, MBps(c, row.best), rows[1].best / row.best);
    return 0;
}

int Encoding(const Corpus& c, const Options& opt) {
    std::printf("\n| encoder (one core) | MB/s | ratio | stored |\n|---|---:|---:|---:|\n");
    std::fflush(stdout);
    auto row = [&](const std::string& name, auto encode) {
        double best = 1e30;
        Streams s;
        for (int r = 0; r < opt.encode_reps; ++r) {
            const auto t0 = Clock::now();
            s = encode();
            best = std::min(best, Seconds(Clock::now() - t0));
        }
        std::printf("| %s | %.1f | %.5f | %.5f |\n", name.c_str(), MBps(c, best), Ratio(c, s.bytes),
                    Ratio(c, s.stored));
        std::fflush(stdout);
    };
    for (int level = lz::kMinLevel; level <= lz::kMaxLevel; ++level) {
        if (opt.level != 0 && level != opt.level) continue;
        std::string name = "LZ level " + std::to_string(level);
        if (level == lz::kDefaultLevel) name += " (default)";
        row(name, [&] { return EncodeLz(c, level); });
    }
    if (opt.level != 0) return 0;
    row("zlib -6 fixed", [&] { return EncodeZlib(c, 6); });
    row("zlib -9 fixed", [&] { return EncodeZlib(c, 9); });
    return 0;
}

[[noreturn]] void Usage() {
    std::fprintf(stderr,
                 "usage: lz_bench [--quick] [--decode-only | --encode-only] [--reps N] [--encode-reps N] [--level N]\n"
                 "  --level N  time only encoder level N (1..9)\n"
                 "  --quick  a quarter of the corpus (about 10 MB instead of 40)\n");
    std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
    Options opt;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--quick")
            opt.scale = 0.25;
        else if (a == "--decode-only")
            opt.encode = false;
        else if (a == "--encode-only")
            opt.decode = false;
        else if ((a == "--reps" || a == "--encode-reps") && i + 1 < argc)
            (a == "--reps" ? opt.reps : opt.encode_reps) = std::max(1, std::atoi(argv[++i]));
        else if (a == "--level" && i + 1 < argc && std::atoi(argv[i + 1]) >= lz::kMinLevel &&
                 std::atoi(argv[i + 1]) <= lz::kMaxLevel)
            opt.level = std::atoi(argv[++i]);
        else
            Usage();
    }
    try {
        const Corpus c = GatherCorpus(opt);
        std::printf("LZ codec on %.1f MB in %zu pieces of at most 64 KiB (%s)\n", c.bytes.size() / 1e6,
                    c.pieces.size(), c.summary.c_str());
        int rc = 0;
        if (opt.decode) rc |= Decoding(c, opt) | Checksums(c, opt);
        if (opt.encode) rc |= Encoding(c, opt);
        return rc;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "lz_bench: %s\n", e.what());
        return 1;
    }
}
