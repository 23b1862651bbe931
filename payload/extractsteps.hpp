// The steps of extracting an archive entry, and their checks.
//
// tsacarchive::ExtractEntry runs them for one entry at a time through its
// two transfer buffers; the host tools' ExtractAll runs the same steps with
// the reading, the decoding and the writing on different threads.  Each
// rule lives here once, so both meet every outcome in the same order and
// with the same text:
//
//   EntryOutput::Begin   the entry checks (EntryRefusal), then, when
//                        writing, its folders and its file
//   ChunkReader::Seek    the installer file at the entry's first chunk
//   ChunkReader::Read    one chunk: the header checked before the payload
//                        is read into one transfer buffer
//   ChunkBytes           an LZ chunk decoded into the other buffer, a plain
//                        one taken as stored without its block padding
//   EntryOutput::Write   refused past the entry's size, then written
//     ... Read again until it ends the entry or a chunk is the last ...
//     ChunkReader::Progress after every chunk but the entry's last
//   EntryOutput::Finish  the entry's size reached; the file closed and its
//                        attributes applied
//
// Failures and their texts: Begin and Write and Finish leave theirs in the
// caller's errortext; a ReadStatus other than Ok or EntryEnd has its text
// in ReadFailureText, and ReadFailureEndsRun says whether the installer
// file itself failed (then the whole run should end).  A file that fails
// part-way stays as far as it was written.
#pragma once

#include "payload/sacentry.hpp"
#include "payload/sacformat.hpp"
#include "setuputil/fileaccess.hpp"

#include <cstdint>
#include <string>

namespace payload {

class tsmufflz;

enum class ExtractTarget { Write, Verify };

// The checks made of an entry before anything is created: empty when the
// entry may go under `installfolder`, else the errortext.  An empty or
// relative `installfolder` refuses every entry (an archive's own absolute
// `fixedfolder` is never trusted); the names must pass CheckEntryPath
// (payload/entrypath.hpp); the size must not be negative.
std::u16string EntryRefusal(const DirectoryEntry& entry, const std::u16string& installfolder);
// The folder the entry's file goes to, ending in a backslash.
std::u16string EntryFolder(const DirectoryEntry& entry, const std::u16string& installfolder);
// A chunk header that may be read on: its mark, and a payload that fits a
// transfer buffer (a larger one is refused unread).
bool ChunkHeaderFits(const tchunkheader& chunk);

enum class ReadStatus {
    Ok,
    EntryEnd,    // no further chunk: a short header or a bit count of 0
    CannotSeek,  // the entry's data lies outside what can be reached
    Corrupt,     // a header without its mark or too large for a buffer
    ShortRead,   // the payload could not be read in full
};
const char16_t* ReadFailureText(ReadStatus status);
bool ReadFailureEndsRun(ReadStatus status);

// Reads chunks from the installer file.  It counts the position itself, so
// the progress after a chunk costs no call to the file system.
class ChunkReader {
public:
    // Over the open installer file whose archive begins at `archiveoffset`.
    void Attach(setuputil::FileAccess& file, std::int64_t archiveoffset);
    // Ok, or CannotSeek.
    ReadStatus Seek(const DirectoryEntry& entry);
    // The next chunk's header into `chunk` and its payload into `payload`
    // (kTransferBufferSize bytes): Ok, EntryEnd, Corrupt or ShortRead.
    ReadStatus Read(tchunkheader& chunk, std::uint8_t* payload);
    // The share of the payload (archive, license, trailer) read so far,
    // 0..90; false (and `progress` untouched) when the file says nothing.
    bool Progress(int& progress) const;

private:
    setuputil::FileAccess* file_ = nullptr;
    std::int64_t archiveoffset_ = 0;
    std::int64_t filesize_ = -1;
    std::int64_t position_ = -1;
};

// The bytes of a chunk that Read returned Ok for, and their number in
// `bytes`: an LZ chunk decoded from `payload` into `decoded` (each
// kTransferBufferSize bytes, not overlapping), a plain chunk its payload.
// The decoder keeps no state between calls, so an LZ chunk in an archive
// not marked compressed decodes just the same.
const std::uint8_t* ChunkBytes(const tchunkheader& chunk, const tsmufflz& decoder, const std::uint8_t* payload,
                               std::uint8_t* decoded, std::uint32_t& bytes);

// One entry's destination: its checks, its folders and its file.
class EntryOutput {
public:
    EntryOutput() = default;
    EntryOutput(const EntryOutput&) = delete;
    EntryOutput& operator=(const EntryOutput&) = delete;

    // Refuses the entry (EntryRefusal), or, when writing, makes its folders
    // and creates its file, replacing one that is there.
    bool Begin(const DirectoryEntry& entry, const std::u16string& installfolder, ExtractTarget target,
               std::u16string& errortext);
    // One chunk's bytes; never past the size the directory promises.
    bool Write(const std::uint8_t* data, std::uint32_t bytes, std::u16string& errortext);
    // The entry is complete: every byte it promised was written; the file
    // is closed and gets the entry's attributes.  "Extracted".
    bool Finish(std::u16string& errortext);
    // Closes the file of an entry that failed, as far as it was written.
    void Abandon();

private:
    const DirectoryEntry* entry_ = nullptr;
    bool writing_ = false;
    setuputil::ScopedFileAccess output_;
    std::u16string fullpath_;
    std::int64_t written_ = 0;
};

// Texts extraction leaves in `errortext`.
inline constexpr char16_t kTextExtracted[] = u"Extracted";
inline constexpr char16_t kTextNoFolder[] = u"Unable to create destination directory for file!";
inline constexpr char16_t kTextCannotCreatePrefix[] = u"Unable to create file (";
inline constexpr char16_t kTextCannotSeek[] = u"Could not read from SAC file. Perhaps another file is writing to it?";
inline constexpr char16_t kTextShortRead[] = u"Could not read from SAC file.  Perhaps another file is writing to it.";
inline constexpr char16_t kTextCorrupt[] = u"File corrupt";
inline constexpr char16_t kTextWriteFailed[] = u"Error writing to file.  File may be in use by another program.";

}  // namespace payload
