// The reader, the decoding threads and the writer of ExtractAll.  The reader
// and the writer each follow one half of tsacarchive::ExtractEntry's steps,
// with the checks and texts it uses; the writer settles every entry in the
// order ExtractEntry would meet its outcomes.
#include "tools/tallowin/parallelextract.hpp"

#include "payload/tsmufflz.hpp"
#include "setuputil/fileops.hpp"
#include "tools/parallel/orderedpool.hpp"

#include <cstdint>
#include <limits>
#include <vector>

namespace tallowin {

using namespace payload;
using namespace setuputil;

namespace {

// What the reader found next, in entry and chunk order.  Every entry yields
// one or more events, the last of which ends it (End, Fail, or a Chunk with
// `last`).
struct ChunkEvent {
    enum class Kind { Chunk, End, Fail };
    Kind kind = Kind::End;
    std::size_t entry = 0;
    // Chunk:
    bool lz = false;
    bool last = false;
    std::int32_t bitcount = 0;
    bool hasprogress = false;
    int progress = 0;
    std::vector<std::uint8_t> payload;  // as stored
    std::vector<std::uint8_t> decoded;  // an LZ chunk's bytes, by a worker
    std::uint32_t bytes = 0;            // how many of them
    // Fail:
    const char16_t* text = nullptr;
    bool terminate = false;
};

// Reads the entries' chunks from the installer file as ExtractEntry does.
class ChunkReader {
public:
    explicit ChunkReader(tsacarchive& archive) : archive_(archive) {}

    bool More() const { return entry_ < archive_.entrylist.size(); }

    void Next(ChunkEvent& ev) {
        ev.entry = entry_;
        const tsacentry& entry = *archive_.entrylist[entry_];
        if (!started_) {
            started_ = true;
            // The writer refuses this entry before anything is read.
            if (!EntryRefusal(entry, archive_.installfolder).empty()) return Ended(ev, ChunkEvent::Kind::End);
            const std::int64_t base = archive_.archiveoffset;
            const bool reachable =
                entry.dataoffset >= 0 && entry.dataoffset <= std::numeric_limits<std::int64_t>::max() - base;
            if (!reachable || !SeekAbsolute(archive_.archivefile, base + entry.dataoffset))
                return Failed(ev, kTextCannotSeek, true);
        }
        tchunkheader chunk{};
        std::uint32_t count = kChunkHeaderSize;
        ReadBlock(archive_.archivefile, &chunk, count);
        if (count < kChunkHeaderSize || chunk.bitcount == 0) return Ended(ev, ChunkEvent::Kind::End);
        if (!ChunkHeaderFits(chunk)) return Failed(ev, kTextCorrupt, false);
        const auto stored = static_cast<std::uint32_t>(payload::ChunkPayloadBytes(chunk.bitcount));
        if (ev.payload.size() < kTransferBufferSize) ev.payload.resize(kTransferBufferSize);
        count = stored;
        ReadBlock(archive_.archivefile, ev.payload.data(), count);
        if (count != stored) return Failed(ev, kTextShortRead, true);

        ev.kind = ChunkEvent::Kind::Chunk;
        ev.lz = chunk.lzflag == 1;
        ev.last = chunk.lastflag == 1;
        ev.bitcount = chunk.bitcount;
        ev.hasprogress = !ev.last && PayloadProgress(archive_.archivefile, archive_.archiveoffset, ev.progress);
        if (ev.last) NextEntry();
    }

private:
    void Ended(ChunkEvent& ev, ChunkEvent::Kind kind) {
        ev.kind = kind;
        NextEntry();
    }
    void Failed(ChunkEvent& ev, const char16_t* text, bool terminate) {
        ev.text = text;
        ev.terminate = terminate;
        Ended(ev, ChunkEvent::Kind::Fail);
    }
    void NextEntry() {
        ++entry_;
        started_ = false;
    }

    tsacarchive& archive_;
    std::size_t entry_ = 0;
    bool started_ = false;
};

// Creates the files and writes the decoded chunks, in order.
class EntryWriter {
public:
    EntryWriter(tsacarchive& archive, ExtractTarget target, ExtractionObserver* observer)
        : archive_(archive), writing_(target == ExtractTarget::Write), observer_(observer) {}

    // Applies one event; true when it settled its entry, with the outcome
    // in `ok` and the text in the archive's errortext.  Events of an entry
    // already settled are dropped.
    bool Apply(const ChunkEvent& ev, bool& ok) {
        if (haveSettled_ && ev.entry == settled_) return false;
        if (!begun_ || ev.entry != current_) {
            begun_ = true;
            current_ = ev.entry;
            decoded_ = 0;
            if (!Begin()) return Settle(false, ok);
        }
        const tsacentry& entry = *archive_.entrylist[current_];
        switch (ev.kind) {
        case ChunkEvent::Kind::Fail:
            archive_.errortext = ev.text;
            if (ev.terminate && observer_) observer_->RequestTermination();
            return Settle(false, ok);
        case ChunkEvent::Kind::End:
            return Complete(ok);
        case ChunkEvent::Kind::Chunk:
            break;
        }
        const std::uint32_t bytes = ev.lz ? ev.bytes : static_cast<std::uint32_t>(ev.bitcount) / 8;
        const std::uint8_t* data = ev.lz ? ev.decoded.data() : ev.payload.data();
        // Never write past the size the directory promises.
        if (bytes > kMaxChunkBytes || static_cast<std::int64_t>(bytes) > entry.filesize - decoded_) {
            archive_.errortext = kTextCorrupt;
            return Settle(false, ok);
        }
        if (writing_ && !WriteBlock(output_.file, data, static_cast<std::int32_t>(bytes))) {
            archive_.errortext = kTextWriteFailed;
            return Settle(false, ok);
        }
        decoded_ += bytes;
        if (ev.last) return Complete(ok);
        if (ev.hasprogress) {
            archive_.progress = ev.progress;
            if (observer_) observer_->SyncProgress(ev.progress);
        }
        return false;
    }

private:
    bool Begin() {
        const tsacentry& entry = *archive_.entrylist[current_];
        if (std::u16string refusal = EntryRefusal(entry, archive_.installfolder); !refusal.empty()) {
            archive_.errortext = std::move(refusal);
            return false;
        }
        const std::u16string folder = EntryFolder(entry, archive_.installfolder);
        fullpath_ = folder + ReadWideField(entry.filename);
        if (!writing_) return true;
        if (!ForceFolders(folder)) {
            archive_.errortext = kTextNoFolder;
            return false;
        }
        if (!OpenForWrite(output_.file, fullpath_)) {
            archive_.errortext = kTextCannotCreatePrefix + fullpath_ + u")";
            return false;
        }
        return true;
    }

    bool Complete(bool& ok) {
        const tsacentry& entry = *archive_.entrylist[current_];
        if (decoded_ != entry.filesize) {
            archive_.errortext = kTextCorrupt;
            return Settle(false, ok);
        }
        if (writing_) {
            CloseAccess(output_.file);
            SetFileAttrs(fullpath_, entry.attributes);
        }
        archive_.errortext = kTextExtracted;
        return Settle(true, ok);
    }

    bool Settle(bool outcome, bool& ok) {
        if (output_.file.handle != 0) CloseAccess(output_.file);
        haveSettled_ = true;
        settled_ = current_;
        ok = outcome;
        return true;
    }

    tsacarchive& archive_;
    const bool writing_;
    ExtractionObserver* const observer_;
    ScopedFileAccess output_;
    std::u16string fullpath_;
    std::size_t current_ = 0;
    bool begun_ = false;
    std::size_t settled_ = 0;
    bool haveSettled_ = false;
    std::int64_t decoded_ = 0;
};

}  // namespace

void ExtractAll(tsacarchive& archive, ExtractTarget target, unsigned workers, ExtractionObserver* observer,
                const std::function<bool(std::size_t index, bool ok)>& settled) {
    if (workers == 0) workers = parallel::HardwareWorkers();
    const tsmufflz decoder;  // keeps no state: one serves every thread
    // A few chunks per worker keep them busy while the writer waits on the disk.
    parallel::OrderedPool<ChunkEvent> pool(workers, 4 * std::size_t{workers} + 4,
                                           [&decoder](ChunkEvent& ev, unsigned) {
                                               if (ev.kind != ChunkEvent::Kind::Chunk || !ev.lz) return;
                                               if (ev.decoded.size() < kTransferBufferSize)
                                                   ev.decoded.resize(kTransferBufferSize);
                                               ev.bytes = static_cast<std::uint32_t>(ev.bitcount);
                                               decoder.DecodeChunk(ev.payload.data(), ev.decoded.data(), ev.bytes);
                                           });
    ChunkReader reader(archive);
    EntryWriter writer(archive, target, observer);
    for (;;) {
        while (!pool.Full() && reader.More()) {
            reader.Next(pool.Next());
            pool.Submit();
        }
        if (pool.Empty()) return;
        const ChunkEvent& ev = pool.Front();
        const std::size_t entry = ev.entry;
        bool ok = false;
        const bool done = writer.Apply(ev, ok);
        pool.Pop();
        if (done && !settled(entry, ok)) return;
    }
}

}  // namespace tallowin
