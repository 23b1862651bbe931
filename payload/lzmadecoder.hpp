// The LZMA decoder of the solid payload (payload/solidformat.hpp): a range
// decoder over adaptive bit models, literals coded with the previous byte
// as context, matches with four repeated distances and a twelve-state
// history, as the LZMA format's published description lays them out.  It
// reads the raw stream of one block (no container header: the block record
// carries the properties, the dictionary and the decoded size) and ends it
// either at the decoded size or at the end marker, which must then come at
// exactly that size.
//
// Bounded against any input: the properties are checked (lc + lp at most
// 4, pb at most 4, so the literal tables stay small), the dictionary is
// the smaller of the record's and the block's decoded size and at most
// kMaxSolidDictionary; every distance is checked against the bytes
// decoded so far, every length against the bytes the block still owes, and
// the packed input against the block's packed size.  Any breach ends the
// stream as Corrupt; nothing is read or written outside the buffers.
//
//   LzmaDecoder decoder;
//   if (!decoder.Begin(properties, dictionary, unpacked, source)) ...;  // no memory
//   while ((result = decoder.Decode(out, size, got)) == LzmaResult::More) use(out, got);
//
// The output goes through a circular dictionary allocated by Begin (kept
// for the next block when it is large enough), and is copied out in the
// pieces the caller asks for (Decode), or taken from the dictionary by a
// reader on another thread (DecodeTo, CopyOut), so memory stays at the
// dictionary whatever the block's size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace payload {

// The largest dictionary a block may ask for.
inline constexpr std::uint32_t kMaxSolidDictionary = 64u << 20;
// The most blocks an install decodes at once, each on a thread of its own
// with its dictionary (payload/solidstream.hpp): memory stays below this
// many times kMaxSolidDictionary, whatever the processors.
inline constexpr std::uint32_t kMaxSolidDecoders = 4;
// The smallest dictionary the format knows.
inline constexpr std::uint32_t kMinLzmaDictionary = 4096;

struct LzmaProperties {
    unsigned lc = 3;  // literal context bits
    unsigned lp = 0;  // literal position bits
    unsigned pb = 2;  // position bits
};
// The properties byte ((pb * 5 + lp) * 9 + lc); false for one outside the
// bounds this decoder keeps (lc + lp > 4, pb > 4, or no such byte).
bool ParseLzmaProperties(std::uint8_t byte, LzmaProperties& properties);
std::uint8_t LzmaPropertiesByte(const LzmaProperties& properties);

// Where the decoder takes its packed bytes from.  Fill returns the next
// bytes (at least one), or false when there are none: the packed size is
// used up, or the file could not be read (the source knows which).
class LzmaInput {
public:
    virtual bool Fill(const std::uint8_t*& data, std::size_t& size) = 0;

protected:
    ~LzmaInput() = default;
};

enum class LzmaResult {
    More,     // `got` bytes decoded, the stream goes on
    Done,     // `got` bytes decoded, the stream ended as it should
    Corrupt,  // the stream breaks a rule, or the input ended early
};

class LzmaDecoder {
public:
    LzmaDecoder();
    ~LzmaDecoder();
    LzmaDecoder(const LzmaDecoder&) = delete;
    LzmaDecoder& operator=(const LzmaDecoder&) = delete;

    // Starts a stream of `unpacked` bytes.  False when the dictionary
    // cannot be had (`dictionary` above kMaxSolidDictionary, or no memory).
    bool Begin(const LzmaProperties& properties, std::uint32_t dictionary, std::uint64_t unpacked, LzmaInput& input);
    // Up to `want` bytes into `out`.
    LzmaResult Decode(std::uint8_t* out, std::size_t want, std::size_t& got);

    // The same stream decoded into the dictionary alone, for a reader that
    // takes the bytes from there (a block decoded ahead on another thread):
    // decodes until decoded() reaches `limit` (or the stream's end).  The
    // caller keeps every byte it has yet to copy out within the last
    // window() bytes: limit - (its next byte) <= window().
    LzmaResult DecodeTo(std::uint64_t limit);
    // Copies decoded bytes [from, from + count) out of the dictionary
    // (decoded() - window() <= from, from + count <= decoded()).
    void CopyOut(std::uint64_t from, std::uint8_t* out, std::size_t count) const;
    std::uint64_t decoded() const { return total_; }
    std::uint32_t window() const { return size_; }
    // Bytes of the stream still to come.
    std::uint64_t remaining() const { return unpacked_ - total_; }

    struct Models;
    struct LengthCoder;

private:
    enum class MatchKind { Fresh, Last, Older };  // a new distance, the last one, one of the three before

    bool NextByte(std::uint8_t& byte);
    std::uint8_t InByte();
    void Normalize();
    unsigned Bit(std::uint16_t& probability);
    unsigned DirectBits(unsigned count);
    unsigned Tree(std::uint16_t* probabilities, unsigned bits);
    unsigned ReverseTree(std::uint16_t* probabilities, unsigned bits);
    unsigned Length(LengthCoder& coder, unsigned posstate);
    std::uint32_t Distance(unsigned length);
    // Symbols up to `limit` bytes into the dictionary; false at a breach of the format.
    bool DecodeRun(std::uint64_t limit);
    // A match after its kind's bits, left in pending_; false at a breach.
    bool DecodeMatch(unsigned posstate, MatchKind kind);
    // After the last byte: the range coder ends clean, or an end marker follows.
    bool FinishStream();

    std::unique_ptr<Models> models_;
    std::unique_ptr<std::uint8_t[]> dictionary_;
    std::uint32_t capacity_ = 0;   // bytes allocated for the dictionary
    std::uint32_t size_ = 0;       // the dictionary this stream uses
    std::uint32_t position_ = 0;   // next write in the dictionary
    std::uint64_t total_ = 0;      // bytes decoded so far
    std::uint64_t unpacked_ = 0;   // bytes of the stream
    LzmaProperties properties_;
    std::uint32_t reps_[4] = {};
    unsigned state_ = 0;
    std::uint32_t pending_ = 0;    // bytes of the current match not yet copied
    std::uint32_t range_ = 0;
    std::uint32_t code_ = 0;
    LzmaInput* input_ = nullptr;
    const std::uint8_t* in_ = nullptr;
    const std::uint8_t* inend_ = nullptr;
    bool inputfailed_ = false;
    bool ended_ = false;
    bool failed_ = false;
};

}  // namespace payload
