#include "payload/lzmadecoder.hpp"

#include <algorithm>
#include <cstring>
#include <new>

namespace payload {

namespace {

constexpr unsigned kModelBits = 11;
constexpr std::uint16_t kModelHalf = 1u << (kModelBits - 1);
constexpr unsigned kMoveBits = 5;
constexpr std::uint32_t kTop = 1u << 24;

constexpr unsigned kStates = 12;
constexpr unsigned kMaxPosStates = 16;  // pb at most 4
constexpr unsigned kLiteralStates = 7;  // states below this follow a literal
constexpr unsigned kLengthStates = 4;
constexpr unsigned kEndModelIndex = 14;
constexpr unsigned kFullDistances = 128;
constexpr unsigned kAlignBits = 4;
constexpr unsigned kMinMatch = 2;
constexpr unsigned kMaxLiteralCoders = 16;  // lc + lp at most 4
constexpr unsigned kLiteralCoderSize = 0x300;
constexpr std::uint32_t kEndMarker = 0xFFFFFFFFu;

}  // namespace

struct LzmaDecoder::LengthCoder {
    std::uint16_t choice;
    std::uint16_t choice2;
    std::uint16_t low[kMaxPosStates][8];
    std::uint16_t mid[kMaxPosStates][8];
    std::uint16_t high[256];
};

struct LzmaDecoder::Models {
    std::uint16_t ismatch[kStates][kMaxPosStates];
    std::uint16_t isrep[kStates];
    std::uint16_t isrepg0[kStates];
    std::uint16_t isrepg1[kStates];
    std::uint16_t isrepg2[kStates];
    std::uint16_t isrep0long[kStates][kMaxPosStates];
    std::uint16_t posslot[kLengthStates][64];
    std::uint16_t specpos[1 + kFullDistances - kEndModelIndex];
    std::uint16_t align[1u << kAlignBits];
    LengthCoder length;
    LengthCoder replength;
    std::uint16_t literal[kMaxLiteralCoders][kLiteralCoderSize];
};

bool ParseLzmaProperties(std::uint8_t byte, LzmaProperties& properties) {
    if (byte >= 9 * 5 * 5) return false;
    LzmaProperties p;
    p.lc = byte % 9;
    p.lp = (byte / 9) % 5;
    p.pb = byte / 45;
    if (p.lc + p.lp > 4 || p.pb > 4) return false;
    properties = p;
    return true;
}

std::uint8_t LzmaPropertiesByte(const LzmaProperties& properties) {
    return static_cast<std::uint8_t>((properties.pb * 5 + properties.lp) * 9 + properties.lc);
}

LzmaDecoder::LzmaDecoder() = default;
LzmaDecoder::~LzmaDecoder() = default;

bool LzmaDecoder::Begin(const LzmaProperties& properties, std::uint32_t dictionary, std::uint64_t unpacked,
                        LzmaInput& input) {
    failed_ = true;
    if (dictionary > kMaxSolidDictionary || properties.lc + properties.lp > 4 || properties.pb > 4) return false;
    // History beyond the block's own bytes is never referenced.
    std::uint64_t needed = std::max<std::uint32_t>(dictionary, kMinLzmaDictionary);
    needed = std::min<std::uint64_t>(needed, std::max<std::uint64_t>(unpacked, 1));
    if (!models_) {
        models_.reset(new (std::nothrow) Models);
        if (!models_) return false;
    }
    if (needed > capacity_) {
        dictionary_.reset();
        capacity_ = 0;
        dictionary_.reset(new (std::nothrow) std::uint8_t[needed]);
        if (!dictionary_) return false;
        capacity_ = static_cast<std::uint32_t>(needed);
    }
    size_ = static_cast<std::uint32_t>(needed);
    position_ = 0;
    total_ = 0;
    unpacked_ = unpacked;
    properties_ = properties;
    std::fill_n(reps_, 4, 0u);
    state_ = 0;
    pending_ = 0;
    input_ = &input;
    in_ = inend_ = nullptr;
    inputfailed_ = false;
    ended_ = false;
    failed_ = false;
    std::uint16_t* models = reinterpret_cast<std::uint16_t*>(models_.get());
    std::fill_n(models, sizeof(Models) / sizeof(std::uint16_t), kModelHalf);

    // The range coder's first byte is always zero; then four bytes of code.
    std::uint8_t first = 0;
    if (!NextByte(first) || first != 0) {
        failed_ = true;
        return true;  // Decode reports it
    }
    range_ = 0xFFFFFFFFu;
    code_ = 0;
    for (int i = 0; i < 4; ++i) code_ = (code_ << 8) | InByte();
    if (code_ == range_) failed_ = true;
    return true;
}

bool LzmaDecoder::NextByte(std::uint8_t& byte) {
    if (in_ == inend_) {
        std::size_t size = 0;
        const std::uint8_t* data = nullptr;
        if (inputfailed_ || !input_->Fill(data, size) || size == 0 || data == nullptr) {
            inputfailed_ = true;
            return false;
        }
        in_ = data;
        inend_ = data + size;
    }
    byte = *in_++;
    return true;
}

std::uint8_t LzmaDecoder::InByte() {
    if (in_ != inend_) return *in_++;
    std::uint8_t byte = 0;
    if (!NextByte(byte)) failed_ = true;  // a stream that needs more than it has
    return byte;
}

inline void LzmaDecoder::Normalize() {
    if (range_ < kTop) {
        range_ <<= 8;
        code_ = (code_ << 8) | InByte();
    }
}

inline unsigned LzmaDecoder::Bit(std::uint16_t& probability) {
    const std::uint32_t bound = (range_ >> kModelBits) * probability;
    unsigned bit;
    if (code_ < bound) {
        range_ = bound;
        probability = static_cast<std::uint16_t>(probability + (((1u << kModelBits) - probability) >> kMoveBits));
        bit = 0;
    } else {
        range_ -= bound;
        code_ -= bound;
        probability = static_cast<std::uint16_t>(probability - (probability >> kMoveBits));
        bit = 1;
    }
    Normalize();
    return bit;
}

unsigned LzmaDecoder::DirectBits(unsigned count) {
    std::uint32_t result = 0;
    while (count-- > 0) {
        range_ >>= 1;
        code_ -= range_;
        const std::uint32_t mask = 0u - (code_ >> 31);  // all ones when the subtraction went below zero
        code_ += range_ & mask;
        if (code_ == range_) failed_ = true;
        result = (result << 1) + (mask + 1);
        Normalize();
    }
    return result;
}

unsigned LzmaDecoder::Tree(std::uint16_t* probabilities, unsigned bits) {
    unsigned m = 1;
    for (unsigned i = 0; i < bits; ++i) m = (m << 1) + Bit(probabilities[m]);
    return m - (1u << bits);
}

unsigned LzmaDecoder::ReverseTree(std::uint16_t* probabilities, unsigned bits) {
    unsigned m = 1, symbol = 0;
    for (unsigned i = 0; i < bits; ++i) {
        const unsigned bit = Bit(probabilities[m]);
        m = (m << 1) + bit;
        symbol |= bit << i;
    }
    return symbol;
}

unsigned LzmaDecoder::Length(LengthCoder& c, unsigned posstate) {
    if (Bit(c.choice) == 0) return Tree(c.low[posstate], 3);
    if (Bit(c.choice2) == 0) return 8 + Tree(c.mid[posstate], 3);
    return 16 + Tree(c.high, 8);
}

std::uint32_t LzmaDecoder::Distance(unsigned length) {
    const unsigned lengthstate = std::min(length, kLengthStates - 1);
    const unsigned slot = Tree(models_->posslot[lengthstate], 6);
    if (slot < 4) return slot;
    const unsigned directbits = (slot >> 1) - 1;
    std::uint32_t distance = (2u | (slot & 1u)) << directbits;
    if (slot < kEndModelIndex) {
        // The models of this slot start at specpos[distance - slot]; the
        // reverse tree indexes them from 1.
        distance += ReverseTree(models_->specpos + distance - slot, directbits);
    } else {
        distance += DirectBits(directbits - kAlignBits) << kAlignBits;
        distance += ReverseTree(models_->align, kAlignBits);
    }
    return distance;
}

// The literals, the short repeats and the copies of matches run here with
// the coder's state in locals: this loop is where an install spends its
// decoding time.  Matches (rarer, each worth many bytes) go through the
// member functions above.
bool LzmaDecoder::DecodeRun(std::uint64_t limit) {
    std::uint8_t* const dictionary = dictionary_.get();
    const std::uint32_t size = size_;
    Models& m = *models_;
    const unsigned pbmask = (1u << properties_.pb) - 1;
    const unsigned lpmask = (1u << properties_.lp) - 1;
    const unsigned lc = properties_.lc;
    std::uint32_t position = position_;
    std::uint64_t total = total_;
    std::uint32_t range = range_;
    std::uint32_t code = code_;
    const std::uint8_t* in = in_;
    const std::uint8_t* inend = inend_;
    const auto save = [&] {
        position_ = position;
        total_ = total;
        range_ = range;
        code_ = code;
        in_ = in;
        inend_ = inend;
    };
    const auto load = [&] {
        position = position_;
        total = total_;
        range = range_;
        code = code_;
        in = in_;
        inend = inend_;
    };
    const auto bit = [&](std::uint16_t& probability) -> unsigned {
        const std::uint32_t bound = (range >> kModelBits) * probability;
        unsigned result;
        if (code < bound) {
            range = bound;
            probability = static_cast<std::uint16_t>(probability + (((1u << kModelBits) - probability) >> kMoveBits));
            result = 0;
        } else {
            range -= bound;
            code -= bound;
            probability = static_cast<std::uint16_t>(probability - (probability >> kMoveBits));
            result = 1;
        }
        if (range < kTop) {
            range <<= 8;
            if (in != inend) {
                code = (code << 8) | *in++;
            } else {
                in_ = in;
                inend_ = inend;
                code = (code << 8) | InByte();
                in = in_;
                inend = inend_;
            }
        }
        return result;
    };
    const auto put = [&](std::uint8_t byte) {
        dictionary[position] = byte;
        if (++position == size) position = 0;
        ++total;
    };

    while (total < limit) {
        if (pending_ > 0) {
            // The rest of a match, as far as the limit reaches.
            std::uint32_t count = static_cast<std::uint32_t>(std::min<std::uint64_t>(pending_, limit - total));
            pending_ -= count;
            std::uint32_t from = position + (reps_[0] < position ? 0 : size) - reps_[0] - 1;
            total += count;
            while (count > 0) {
                // Runs that wrap neither the source nor the target go straight.
                const std::uint32_t run = std::min({count, size - from, size - position});
                std::uint8_t* to = dictionary + position;
                const std::uint8_t* source = dictionary + from;
                if (to + run <= source || source + run <= to) {
                    std::memcpy(to, source, run);  // the run does not reach into itself
                } else {
                    for (std::uint32_t i = 0; i < run; ++i) to[i] = source[i];
                }
                count -= run;
                from += run;
                position += run;
                if (from == size) from = 0;
                if (position == size) position = 0;
            }
            continue;
        }
        if (failed_) break;
        const unsigned posstate = static_cast<unsigned>(total) & pbmask;
        if (bit(m.ismatch[state_][posstate]) == 0) {
            const std::uint8_t previous = total > 0 ? dictionary[position == 0 ? size - 1 : position - 1] : 0;
            const unsigned coder = ((static_cast<unsigned>(total) & lpmask) << lc) + (previous >> (8 - lc));
            std::uint16_t* probabilities = m.literal[coder];
            unsigned symbol = 1;
            if (state_ >= kLiteralStates) {
                // After a match the byte at the last distance guides the first bits.
                const std::uint32_t from = position + (reps_[0] < position ? 0 : size) - reps_[0] - 1;
                unsigned matchbyte = dictionary[from];
                do {
                    const unsigned matchbit = (matchbyte >> 7) & 1;
                    matchbyte <<= 1;
                    const unsigned b = bit(probabilities[((1 + matchbit) << 8) + symbol]);
                    symbol = (symbol << 1) | b;
                    if (matchbit != b) break;
                } while (symbol < 0x100);
            }
            while (symbol < 0x100) symbol = (symbol << 1) | bit(probabilities[symbol]);
            put(static_cast<std::uint8_t>(symbol));
            state_ = state_ < 4 ? 0 : state_ < 10 ? state_ - 3 : state_ - 6;
            continue;
        }
        const std::uint32_t filled = total < size ? static_cast<std::uint32_t>(total) : size;
        MatchKind kind = MatchKind::Fresh;
        if (bit(m.isrep[state_]) != 0) {
            if (filled == 0) {
                failed_ = true;
                break;
            }
            if (bit(m.isrepg0[state_]) != 0) {
                kind = MatchKind::Older;
            } else if (bit(m.isrep0long[state_][posstate]) != 0) {
                kind = MatchKind::Last;
            } else {
                // A short repeat: one byte from the last distance.
                if (reps_[0] >= filled) {
                    failed_ = true;
                    break;
                }
                state_ = state_ < kLiteralStates ? 9 : 11;
                const std::uint32_t from = position + (reps_[0] < position ? 0 : size) - reps_[0] - 1;
                put(dictionary[from]);
                continue;
            }
        }
        // A match: the rarer paths, through the members.
        save();
        const bool ok = DecodeMatch(posstate, kind);
        load();
        if (!ok) {
            failed_ = true;
            break;
        }
    }
    save();
    return !failed_;
}

bool LzmaDecoder::DecodeMatch(unsigned posstate, MatchKind kind) {
    Models& m = *models_;
    unsigned length;
    if (kind != MatchKind::Fresh) {
        if (kind == MatchKind::Older) {
            std::uint32_t distance;
            if (Bit(m.isrepg1[state_]) == 0) {
                distance = reps_[1];
            } else {
                if (Bit(m.isrepg2[state_]) == 0) {
                    distance = reps_[2];
                } else {
                    distance = reps_[3];
                    reps_[3] = reps_[2];
                }
                reps_[2] = reps_[1];
            }
            reps_[1] = reps_[0];
            reps_[0] = distance;
        }
        length = Length(m.replength, posstate);
        state_ = state_ < kLiteralStates ? 8 : 11;
    } else {
        reps_[3] = reps_[2];
        reps_[2] = reps_[1];
        reps_[1] = reps_[0];
        length = Length(m.length, posstate);
        state_ = state_ < kLiteralStates ? 7 : 10;
        reps_[0] = Distance(length);
        if (reps_[0] == kEndMarker) return false;  // before the block's size is reached: too early
    }
    const std::uint32_t filled = total_ < size_ ? static_cast<std::uint32_t>(total_) : size_;
    if (reps_[0] >= filled) return false;
    length += kMinMatch;
    if (length > unpacked_ - total_) return false;
    pending_ = length;
    return !failed_;
}

bool LzmaDecoder::FinishStream() {
    // Either the range coder ends here, or an end marker follows.
    if (code_ == 0) return true;
    const unsigned posstate = static_cast<unsigned>(total_) & ((1u << properties_.pb) - 1);
    if (Bit(models_->ismatch[state_][posstate]) == 0 || Bit(models_->isrep[state_]) != 0) return false;
    const unsigned length = Length(models_->length, posstate);
    return Distance(length) == kEndMarker && code_ == 0 && !failed_;
}

LzmaResult LzmaDecoder::DecodeTo(std::uint64_t limit) {
    if (failed_) return LzmaResult::Corrupt;
    if (ended_) return LzmaResult::Done;
    limit = std::min(limit, unpacked_);
    if (!DecodeRun(limit)) {
        failed_ = true;
        return LzmaResult::Corrupt;
    }
    if (total_ == unpacked_ && pending_ == 0) {
        if (!FinishStream()) {
            failed_ = true;
            return LzmaResult::Corrupt;
        }
        ended_ = true;
        return LzmaResult::Done;
    }
    return LzmaResult::More;
}

void LzmaDecoder::CopyOut(std::uint64_t from, std::uint8_t* out, std::size_t count) const {
    // Byte number n of the stream sits at n % size_: the dictionary is
    // filled from its start and wraps there.  Only what stays fixed while
    // another thread decodes is read here.
    std::uint32_t at = static_cast<std::uint32_t>(from % size_);
    while (count > 0) {
        const std::size_t run = std::min<std::size_t>(count, size_ - at);
        std::memcpy(out, dictionary_.get() + at, run);
        out += run;
        count -= run;
        at = 0;
    }
}

LzmaResult LzmaDecoder::Decode(std::uint8_t* out, std::size_t want, std::size_t& got) {
    got = 0;
    for (;;) {
        const std::uint64_t start = total_;
        // Never more at once than the dictionary holds.
        const LzmaResult result = DecodeTo(start + std::min<std::uint64_t>(want - got, size_));
        CopyOut(start, out + got, static_cast<std::size_t>(total_ - start));
        got += static_cast<std::size_t>(total_ - start);
        if (result != LzmaResult::More || got == want) return result;
    }
}

}  // namespace payload
