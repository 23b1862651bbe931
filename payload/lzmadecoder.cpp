#include "payload/lzmadecoder.hpp"

#include <algorithm>
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
    filled_ = 0;
    total_ = 0;
    remaining_ = unpacked;
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

inline void LzmaDecoder::Put(std::uint8_t byte) {
    dictionary_[position_] = byte;
    if (++position_ == size_) position_ = 0;
    if (filled_ < size_) ++filled_;
    ++total_;
    --remaining_;
    out_[outcount_++] = byte;
}

void LzmaDecoder::DecodeLiteral() {
    const std::uint8_t previous = filled_ > 0 ? dictionary_[position_ == 0 ? size_ - 1 : position_ - 1] : 0;
    const unsigned lpmask = (1u << properties_.lp) - 1;
    const unsigned coder = ((static_cast<unsigned>(total_) & lpmask) << properties_.lc) + (previous >> (8 - properties_.lc));
    std::uint16_t* probabilities = models_->literal[coder];
    unsigned symbol = 1;
    if (state_ >= kLiteralStates) {
        // After a match the byte at the last distance guides the first bits.
        std::uint32_t from = position_ + (reps_[0] < position_ ? 0 : size_) - reps_[0] - 1;
        unsigned matchbyte = dictionary_[from];
        do {
            const unsigned matchbit = (matchbyte >> 7) & 1;
            matchbyte <<= 1;
            const unsigned bit = Bit(probabilities[((1 + matchbit) << 8) + symbol]);
            symbol = (symbol << 1) | bit;
            if (matchbit != bit) break;
        } while (symbol < 0x100);
    }
    while (symbol < 0x100) symbol = (symbol << 1) | Bit(probabilities[symbol]);
    Put(static_cast<std::uint8_t>(symbol));
    state_ = state_ < 4 ? 0 : state_ < 10 ? state_ - 3 : state_ - 6;
}

bool LzmaDecoder::DecodeSymbol() {
    const unsigned posstate = static_cast<unsigned>(total_) & ((1u << properties_.pb) - 1);
    if (Bit(models_->ismatch[state_][posstate]) == 0) {
        DecodeLiteral();
        return true;
    }
    unsigned length;
    if (Bit(models_->isrep[state_]) != 0) {
        if (filled_ == 0) return false;
        if (Bit(models_->isrepg0[state_]) == 0) {
            if (Bit(models_->isrep0long[state_][posstate]) == 0) {
                if (reps_[0] >= filled_) return false;
                state_ = state_ < kLiteralStates ? 9 : 11;
                const std::uint32_t from = position_ + (reps_[0] < position_ ? 0 : size_) - reps_[0] - 1;
                Put(dictionary_[from]);
                return true;
            }
        } else {
            std::uint32_t distance;
            if (Bit(models_->isrepg1[state_]) == 0) {
                distance = reps_[1];
            } else {
                if (Bit(models_->isrepg2[state_]) == 0) {
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
        length = Length(models_->replength, posstate);
        state_ = state_ < kLiteralStates ? 8 : 11;
    } else {
        reps_[3] = reps_[2];
        reps_[2] = reps_[1];
        reps_[1] = reps_[0];
        length = Length(models_->length, posstate);
        state_ = state_ < kLiteralStates ? 7 : 10;
        reps_[0] = Distance(length);
        if (reps_[0] == kEndMarker) return false;  // before the block's size is reached: too early
    }
    if (reps_[0] >= filled_) return false;
    length += kMinMatch;
    if (length > remaining_) return false;
    pending_ = length;
    return true;
}

bool LzmaDecoder::FinishStream() {
    // Either the range coder ends here, or an end marker follows.
    if (code_ == 0) return true;
    const unsigned posstate = static_cast<unsigned>(total_) & ((1u << properties_.pb) - 1);
    if (Bit(models_->ismatch[state_][posstate]) == 0 || Bit(models_->isrep[state_]) != 0) return false;
    const unsigned length = Length(models_->length, posstate);
    return Distance(length) == kEndMarker && code_ == 0 && !failed_;
}

LzmaResult LzmaDecoder::Decode(std::uint8_t* out, std::size_t want, std::size_t& got) {
    got = 0;
    if (failed_) return LzmaResult::Corrupt;
    if (ended_) return LzmaResult::Done;
    out_ = out;
    outcount_ = 0;
    while (outcount_ < want) {
        if (pending_ > 0) {
            // The rest of a match, as far as this call's output reaches.
            const std::uint32_t count =
                static_cast<std::uint32_t>(std::min<std::uint64_t>(pending_, want - outcount_));
            std::uint32_t from = position_ + (reps_[0] < position_ ? 0 : size_) - reps_[0] - 1;
            for (std::uint32_t i = 0; i < count; ++i) {
                const std::uint8_t byte = dictionary_[from];
                if (++from == size_) from = 0;
                Put(byte);
            }
            pending_ -= count;
            continue;
        }
        if (remaining_ == 0) break;
        if (!DecodeSymbol() || failed_) {
            failed_ = true;
            got = outcount_;
            return LzmaResult::Corrupt;
        }
    }
    got = outcount_;
    if (remaining_ == 0 && pending_ == 0) {
        if (!FinishStream()) {
            failed_ = true;
            return LzmaResult::Corrupt;
        }
        ended_ = true;
        return LzmaResult::Done;
    }
    return LzmaResult::More;
}

}  // namespace payload
