// The reader, the decoding threads and the writer of ExtractAll: each runs
// its share of the extraction steps (payload/extractsteps.hpp), and the
// writer settles every entry in the order ExtractEntry would meet its
// outcomes.
#include "tools/tallowin/parallelextract.hpp"

#include "payload/tsmufflz.hpp"
#include "tools/parallel/orderedpool.hpp"

#include <cstdint>
#include <vector>

namespace tallowin {

using namespace payload;

namespace {

// What the reader found next, in entry and chunk order.  Every entry yields
// one or more events, the last of which ends it (End, Fail, or a Chunk of
// the entry's last).
struct ChunkEvent {
    enum class Kind { Chunk, End, Fail };
    Kind kind = Kind::End;
    std::size_t entry = 0;
    // Chunk:
    tchunkheader chunk{};
    bool hasprogress = false;
    int progress = 0;
    std::vector<std::uint8_t> payload;  // as stored
    std::vector<std::uint8_t> decoded;  // an LZ chunk's bytes
    const std::uint8_t* data = nullptr; // the chunk's bytes (ChunkBytes, by a worker)
    std::uint32_t bytes = 0;
    // Fail:
    ReadStatus failure = ReadStatus::Ok;

    bool Last() const { return chunk.lastflag == 1; }
};

// Reads the entries' chunks from the installer file, entry after entry.
class EntryReader {
public:
    explicit EntryReader(tsacarchive& archive) : archive_(archive), chunks_(archive.Chunks()) {}

    bool More() const { return entry_ < archive_.entrylist().size(); }

    void Next(ChunkEvent& ev) {
        ev.entry = entry_;
        if (!started_) {
            started_ = true;
            const DirectoryEntry& entry = archive_.entrylist()[entry_];
            // The writer refuses this entry before anything is read.
            if (!EntryRefusal(entry, archive_.installfolder()).empty()) return Ended(ev, ChunkEvent::Kind::End);
            if (const ReadStatus status = chunks_.Seek(entry); status != ReadStatus::Ok) return Failed(ev, status);
        }
        if (ev.payload.size() < kTransferBufferSize) ev.payload.resize(kTransferBufferSize);
        const ReadStatus status = chunks_.Read(ev.chunk, ev.payload.data());
        if (status == ReadStatus::EntryEnd) return Ended(ev, ChunkEvent::Kind::End);
        if (status != ReadStatus::Ok) return Failed(ev, status);
        ev.kind = ChunkEvent::Kind::Chunk;
        ev.hasprogress = !ev.Last() && chunks_.Progress(ev.progress);
        if (ev.Last()) NextEntry();
    }

private:
    void Ended(ChunkEvent& ev, ChunkEvent::Kind kind) {
        ev.kind = kind;
        NextEntry();
    }
    void Failed(ChunkEvent& ev, ReadStatus status) {
        ev.failure = status;
        Ended(ev, ChunkEvent::Kind::Fail);
    }
    void NextEntry() {
        ++entry_;
        started_ = false;
    }

    tsacarchive& archive_;
    ChunkReader& chunks_;
    std::size_t entry_ = 0;
    bool started_ = false;
};

// Creates the files and writes the decoded chunks, in order.
class EntryWriter {
public:
    EntryWriter(const tsacarchive& archive, ExtractTarget target, ExtractionObserver* observer)
        : archive_(archive), target_(target), observer_(observer) {}

    // Applies one event; true when it settled its entry, with the outcome
    // in `ok` and its text in Text().  Events of an entry already settled
    // are dropped.
    bool Apply(const ChunkEvent& ev, bool& ok) {
        if (haveSettled_ && ev.entry == settled_) return false;
        if (!begun_ || ev.entry != current_) {
            begun_ = true;
            current_ = ev.entry;
            if (!output_.Begin(archive_.entrylist()[current_], archive_.installfolder(), target_, text_))
                return Settle(false, ok);
        }
        switch (ev.kind) {
        case ChunkEvent::Kind::Fail:
            text_ = ReadFailureText(ev.failure);
            if (ReadFailureEndsRun(ev.failure) && observer_) observer_->RequestTermination();
            return Settle(false, ok);
        case ChunkEvent::Kind::End:
            return Settle(output_.Finish(text_), ok);
        case ChunkEvent::Kind::Chunk:
            break;
        }
        if (!output_.Write(ev.data, ev.bytes, text_)) return Settle(false, ok);
        if (ev.Last()) return Settle(output_.Finish(text_), ok);
        if (ev.hasprogress && observer_) observer_->SyncProgress(ev.progress);
        return false;
    }

    const std::u16string& Text() const { return text_; }

private:
    bool Settle(bool outcome, bool& ok) {
        output_.Abandon();
        haveSettled_ = true;
        settled_ = current_;
        ok = outcome;
        return true;
    }

    const tsacarchive& archive_;
    const ExtractTarget target_;
    ExtractionObserver* const observer_;
    EntryOutput output_;
    std::u16string text_;
    std::size_t current_ = 0;
    bool begun_ = false;
    std::size_t settled_ = 0;
    bool haveSettled_ = false;
};

}  // namespace

void ExtractAll(tsacarchive& archive, ExtractTarget target, unsigned workers, ExtractionObserver* observer,
                const Settled& settled) {
    // A solid payload's blocks decode in order, one stream each: the
    // entries are extracted as the installer extracts them.
    if (archive.kind() == PayloadKind::Solid) {
        for (std::size_t i = 0; i < archive.entrylist().size(); ++i) {
            const bool ok = archive.ExtractEntry(i, observer, target);
            if (!settled(i, ok, archive.errortext())) return;
        }
        return;
    }
    if (workers == 0) workers = parallel::HardwareWorkers();
    const tsmufflz decoder;  // keeps no state: one serves every thread
    // A few chunks per worker keep them busy while the writer waits on the disk.
    parallel::OrderedPool<ChunkEvent> pool(workers, 4 * std::size_t{workers} + 4,
                                           [&decoder](ChunkEvent& ev, unsigned) {
                                               if (ev.kind != ChunkEvent::Kind::Chunk) return;
                                               if (ev.decoded.size() < kTransferBufferSize)
                                                   ev.decoded.resize(kTransferBufferSize);
                                               ev.data = ChunkBytes(ev.chunk, decoder, ev.payload.data(),
                                                                    ev.decoded.data(), ev.bytes);
                                           });
    EntryReader reader(archive);
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
        if (done && !settled(entry, ok, writer.Text())) return;
    }
}

}  // namespace tallowin
