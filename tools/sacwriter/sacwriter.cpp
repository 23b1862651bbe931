#include "tools/sacwriter/sacwriter.hpp"

#include "payload/entrypath.hpp"
#include "payload/tsmufflz.hpp"
#include "setuputil/namefold.hpp"
#include "tools/parallel/orderedpool.hpp"
#include "tools/sacwriter/solidwriter.hpp"
#include "tools/sacwriter/textcodec.hpp"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <memory>

namespace sacwriter {

using namespace payload;

std::u16string FoldedPath(const std::u16string& path) {
    std::u16string out, part;
    const auto flush = [&] {
        while (!part.empty() && (part.back() == u'.' || part.back() == u' ')) part.pop_back();
        if (!part.empty()) out += u'\\' + part;
        part.clear();
    };
    for (char16_t c : path) {
        if (c == u'\\') {
            flush();
            continue;
        }
        part += setuputil::FoldNameUnit(c);
    }
    flush();
    return out;
}

double DayCountFromUnix(std::int64_t seconds) {
    // 25,569 days lie between 30 December 1899 and 1 January 1970.
    return 25569.0 + static_cast<double>(seconds) / 86400.0;
}

namespace {

template <typename Record>
void AppendRecord(std::vector<std::uint8_t>& out, const Record& record) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&record);
    out.insert(out.end(), bytes, bytes + sizeof record);
}

std::string Display(const ArchiveItem& item) {
    std::u16string folder = item.subfolder;
    if (!folder.empty() && folder.front() == u'\\') folder.erase(0, 1);
    if (!folder.empty() && folder.back() != u'\\') folder += u'\\';
    return Utf16ToUtf8(folder + item.filename);
}

std::u16string FoldedPath(const ArchiveItem& item) {
    return sacwriter::FoldedPath(item.subfolder + u'\\' + item.filename);
}

std::u16string SortKey(const ArchiveItem& item) { return item.subfolder + u'\\' + item.filename; }

// Counts what goes to the stream, so that offsets and the size limit are
// known without asking the stream.
class CountingWriter {
public:
    CountingWriter(std::ostream& out, std::int64_t limit) : out_(out), limit_(limit) {}
    bool Put(const void* data, std::size_t size, std::string& error) {
        if (written_ + static_cast<std::int64_t>(size) > limit_) {
            error = "the installer would be larger than " + std::to_string(limit_) +
                    " bytes; an installer stays below 2 GiB, its offsets are signed 32-bit";
            return false;
        }
        out_.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!out_) {
            error = "cannot write the installer file";
            return false;
        }
        written_ += static_cast<std::int64_t>(size);
        return true;
    }
    bool Put(const std::vector<std::uint8_t>& bytes, std::string& error) { return Put(bytes.data(), bytes.size(), error); }
    std::int64_t written() const { return written_; }

private:
    std::ostream& out_;
    std::int64_t limit_;
    std::int64_t written_ = 0;
};

// The pieces of one item, in order, with the item's size known up front so
// that the last piece can be marked.
class PieceSource {
public:
    explicit PieceSource(const ArchiveItem& item) : item_(item) {}
    bool Open(std::string& error) {
        if (item_.source.empty()) {
            size_ = item_.data.size();
            return true;
        }
        std::error_code ec;
        const auto size = std::filesystem::file_size(item_.source, ec);
        file_.open(item_.source, std::ios::binary);
        if (ec || !file_) {
            error = "cannot read " + item_.source.string();
            return false;
        }
        size_ = size;
        return true;
    }
    std::uint64_t size() const { return size_; }
    // The next piece, at most kMaxChunkBytes; false when the file ended
    // early (changed while it was being read).
    bool Next(std::vector<std::uint8_t>& piece, std::string& error) {
        const std::uint64_t n = std::min<std::uint64_t>(kMaxChunkBytes, size_ - offset_);
        piece.resize(n);
        if (item_.source.empty()) {
            if (n != 0) std::memcpy(piece.data(), item_.data.data() + offset_, n);  // an empty file has no data pointer
        } else {
            file_.read(reinterpret_cast<char*>(piece.data()), static_cast<std::streamsize>(n));
            if (static_cast<std::uint64_t>(file_.gcount()) != n) {
                error = "cannot read " + item_.source.string() + " in full; did it change while being read?";
                return false;
            }
        }
        offset_ += n;
        return true;
    }
    bool done() const { return offset_ >= size_; }

private:
    const ArchiveItem& item_;
    std::ifstream file_;
    std::uint64_t size_ = 0;
    std::uint64_t offset_ = 0;
};

// One piece on its way through the compressing threads.
struct PieceJob {
    std::vector<std::uint8_t> piece;
    std::size_t item = 0;      // index into the sorted items
    bool first = false;        // the item's first piece
    bool last = false;         // the item's last piece
    std::vector<std::uint8_t> chunk;  // header and payload, as written
    std::int64_t stored = 0;
    bool ok = false;
    std::string error;
};

bool FinishInstaller(const InstallerInput& input, CountingWriter& writer, std::int64_t archiveoffset,
                     std::ostream& out, std::string& error);

}  // namespace

std::string CheckItem(const ArchiveItem& item) {
    const std::string name = "file \"" + Display(item) + "\"";
    if (item.filename.size() > kWideFieldUnits || item.subfolder.size() > kWideFieldUnits)
        return name + ": its name or folder is longer than " + std::to_string(kWideFieldUnits) + " UTF-16 units";
    if (item.filename.find(u'\0') != std::u16string::npos || item.subfolder.find(u'\0') != std::u16string::npos)
        return name + ": its name holds a zero character";
    const EntryPathProblem problem = CheckEntryPath(item.filename, item.subfolder);
    if (problem != EntryPathProblem::None)
        return name + ": " + Utf16ToUtf8(EntryPathProblemText(problem)) + "; the installer would refuse it";
    return {};
}

bool AppendPieceChunk(lz::LzEncoder& encoder, const std::uint8_t* piece, std::size_t size, bool last, int level,
                      std::vector<std::uint8_t>& out, std::int64_t& stored, std::string& error) {
    tchunkheader chunk{};
    chunk.mark = kChunkMark;
    chunk.lastflag = last ? 1 : 0;
    std::vector<std::uint8_t> payload;
    if (size > 0 && level > 0) {
        const std::uint32_t bits = encoder.Encode(piece, size, level, payload);
        if (lz::LzShrinks(bits, size)) {
            // Decode it again: the installer must get back exactly this piece.
            std::vector<std::uint8_t> check(kTransferBufferSize);
            std::uint32_t produced = bits;
            tsmufflz().DecodeChunk(payload.data(), check.data(), produced);
            if (produced != size || std::memcmp(check.data(), piece, size) != 0) {
                error = "the LZ encoder produced a stream that does not decode to its input";
                return false;
            }
            chunk.lzflag = 1;
            chunk.bitcount = static_cast<std::int32_t>(bits);
            payload.resize(static_cast<std::size_t>(::payload::ChunkPayloadBytes(bits)));
        } else {
            payload.clear();
        }
    }
    if (chunk.lzflag == 0) {
        chunk.bitcount = static_cast<std::int32_t>(size * 8);
        payload.assign(piece, piece + size);
        payload.resize(static_cast<std::size_t>(::payload::ChunkPayloadBytes(static_cast<std::int64_t>(size) * 8)), 0);
    }
    AppendRecord(out, chunk);
    out.insert(out.end(), payload.begin(), payload.end());
    stored += static_cast<std::int64_t>(payload.size());
    return true;
}

bool WriteInstaller(const InstallerInput& input, std::ostream& out, std::string& error) {
    if (input.level < 0 || input.level > lz::kMaxLevel) {
        error = "level " + std::to_string(input.level) + " is outside 0.." + std::to_string(lz::kMaxLevel);
        return false;
    }
    if (input.licensetext.find('\0') != std::string::npos) {
        error = "the license text holds a zero byte; the installer would cut it there";
        return false;
    }

    std::vector<const ArchiveItem*> items;
    for (const ArchiveItem& item : input.items) {
        if (std::string problem = CheckItem(item); !problem.empty()) {
            error = problem;
            return false;
        }
        items.push_back(&item);
    }
    std::sort(items.begin(), items.end(),
              [](const ArchiveItem* a, const ArchiveItem* b) { return SortKey(*a) < SortKey(*b); });
    // The platform compares names without letter case and drops trailing
    // dots and blanks: two such entries would land in one file.
    std::vector<const ArchiveItem*> folded = items;
    std::stable_sort(folded.begin(), folded.end(), [](const ArchiveItem* a, const ArchiveItem* b) {
        return FoldedPath(*a) < FoldedPath(*b);
    });
    for (std::size_t i = 1; i < folded.size(); ++i)
        if (FoldedPath(*folded[i - 1]) == FoldedPath(*folded[i])) {
            error = "file \"" + Display(*folded[i]) + "\" has the same path as \"" + Display(*folded[i - 1]) +
                    "\" apart from letter case, trailing dots or blanks";
            return false;
        }
    if (items.size() > static_cast<std::size_t>(INT32_MAX)) {
        error = "too many files";
        return false;
    }

    CountingWriter writer(out, std::min(input.maxbytes, kMaxInstallerBytes));
    if (!writer.Put(input.stub, error)) return false;
    const std::int64_t archiveoffset = writer.written();
    if (input.kind == PayloadKind::Solid) {
        std::vector<std::uint8_t> archive;
        if (!AppendSolidArchive(items, input.jobs, input.progress, archive, error) || !writer.Put(archive, error))
            return false;
        return FinishInstaller(input, writer, archiveoffset, out, error);
    }

    tsacheader header{};
    std::memcpy(header.mark, kSacMark, sizeof kSacMark);
    header.reserved4 = 4;
    header.compressed = input.level > 0 ? 1 : 0;
    header.created = input.created;
    if (!writer.Put(&header, sizeof header, error)) return false;

    // Records first, so that each chunk written can settle its entry's
    // dataoffset and storedsize.
    std::vector<std::unique_ptr<tsacentry>> records;
    std::uint64_t total = 0, done = 0;
    for (const ArchiveItem* item : items) {
        auto record = std::make_unique<tsacentry>();
        WriteWideField(record->filename, item->filename);
        WriteWideField(record->subfolder, item->subfolder);
        record->attributes = item->attributes;
        record->role = item->role;
        record->filetime = item->filetime;
        records.push_back(std::move(record));
        std::error_code ec;
        const std::uintmax_t size = item->source.empty() ? item->data.size() : std::filesystem::file_size(item->source, ec);
        if (!ec) total += size;
    }

    // One encoder per worker thread; the pool is destroyed (its threads
    // joined) before the encoders.
    const unsigned jobs = input.jobs == 0 ? parallel::HardwareWorkers() : input.jobs;
    std::vector<std::unique_ptr<lz::LzEncoder>> encoders;
    for (unsigned w = 0; w < jobs; ++w) encoders.push_back(std::make_unique<lz::LzEncoder>());
    parallel::OrderedPool<PieceJob> pool(jobs, 4 * std::size_t{jobs}, [&](PieceJob& job, unsigned worker) {
        job.chunk.clear();
        job.stored = 0;
        job.error.clear();
        job.ok = AppendPieceChunk(*encoders[worker], job.piece.data(), job.piece.size(), job.last, input.level,
                                  job.chunk, job.stored, job.error);
    });
    // Writes the oldest piece's chunk.
    const auto writeFront = [&]() -> bool {
        PieceJob& job = pool.Front();
        tsacentry& record = *records[job.item];
        if (job.first) record.dataoffset = writer.written() - archiveoffset;
        const bool ok = job.ok && writer.Put(job.chunk, job.error);
        if (!ok) error = "file \"" + Display(*items[job.item]) + "\": " + job.error;
        record.storedsize += job.stored;
        done += job.piece.size();
        pool.Pop();
        if (ok && input.progress) input.progress(done, total);
        return ok;
    };
    // A source that cannot be read fails the build, but the pieces before
    // it are written first: a fault there is reported as it would be
    // without the threads.
    const auto failAfterPending = [&](const std::string& problem) {
        while (!pool.Empty())
            if (!writeFront()) return false;
        error = problem;
        return false;
    };

    for (std::size_t k = 0; k < items.size(); ++k) {
        PieceSource source(*items[k]);
        std::string problem;
        if (!source.Open(problem)) return failAfterPending(problem);
        records[k]->filesize = static_cast<std::int64_t>(source.size());
        bool first = true;
        do {
            if (pool.Full() && !writeFront()) return false;
            PieceJob& job = pool.Next();
            if (!source.Next(job.piece, problem)) return failAfterPending(problem);
            job.item = k;
            job.first = first;
            job.last = source.done();
            first = false;
            pool.Submit();
        } while (!source.done());
    }
    while (!pool.Empty())
        if (!writeFront()) return false;

    for (const auto& record : records)
        if (!writer.Put(record.get(), sizeof *record, error)) return false;
    tsacfooter footer{};
    std::memcpy(footer.mark, kSacMark, sizeof kSacMark);
    footer.entrycount = static_cast<std::int32_t>(records.size());
    if (!writer.Put(&footer, sizeof footer, error)) return false;
    return FinishInstaller(input, writer, archiveoffset, out, error);
}

namespace {

// The license text and the trailer after the archive.
bool FinishInstaller(const InstallerInput& input, CountingWriter& writer, std::int64_t archiveoffset,
                     std::ostream& out, std::string& error) {
    const std::int64_t licenseoffset = writer.written();
    if (!writer.Put(input.licensetext.data(), input.licensetext.size(), error)) return false;

    TrailerFields fields = input.fields;
    fields.archiveoffset = static_cast<std::int32_t>(archiveoffset);
    fields.licenseoffset = static_cast<std::int32_t>(licenseoffset);
    fields.haslicense = !input.licensetext.empty();
    auto trailer = std::make_unique<tsetuptrailer>();
    if (!BuildTrailer(fields, *trailer, error)) return false;
    if (!writer.Put(trailer.get(), sizeof *trailer, error)) return false;
    out.flush();
    if (!out) {
        error = "cannot write the installer file";
        return false;
    }
    return true;
}

}  // namespace

}  // namespace sacwriter
