#include "payload/payloadcheck.hpp"

#include "payload/crc32.hpp"
#include "payload/payloadend.hpp"

#include <algorithm>
#include <cstring>
#include <vector>

namespace payload {

namespace {

constexpr std::uint32_t kBlock = 1u << 20;

// Zeroes what of [from, from + size) lies in `block`, `count` bytes read at `position`.
void ZeroRange(unsigned char* block, std::int64_t position, std::uint32_t count, std::int64_t from, std::int64_t size) {
    if (from < 0) return;
    const std::int64_t begin = std::max(position, from);
    const std::int64_t end = std::min(position + static_cast<std::int64_t>(count), from + size);
    if (begin < end) std::memset(block + (begin - position), 0, static_cast<std::size_t>(end - begin));
}

}  // namespace

bool ParsePayloadCheck(const void* data, std::size_t size, tpayloadcheck& check) {
    check = {};
    if (data == nullptr || size < sizeof check.mark) return false;
    std::memcpy(check.mark, data, sizeof check.mark);
    const bool whole = CoversWholeFile(check);
    if (!whole && std::memcmp(check.mark, kPayloadOnlyCheckMark, sizeof check.mark) != 0) return false;
    if (size != (whole ? sizeof check : kPayloadOnlyCheckSize)) return false;
    std::memcpy(&check, data, size);
    return true;
}

bool CoversWholeFile(const tpayloadcheck& check) {
    return std::memcmp(check.mark, kPayloadCheckMark, sizeof check.mark) == 0;
}

bool FileCrc32(setuputil::FileAccess& file, std::int64_t offset, std::int64_t length, std::uint32_t& crc) {
    std::vector<unsigned char> buffer(kBlock);
    crc = 0;
    while (length > 0) {
        const std::uint32_t want = length < kBlock ? static_cast<std::uint32_t>(length) : kBlock;
        std::uint32_t count = want;
        if (setuputil::ReadBlockAt(file, buffer.data(), count, offset) != want) return false;
        crc = Crc32(crc, buffer.data(), want);
        offset += want;
        length -= want;
    }
    return true;
}

bool WholeFileCrc32(setuputil::FileAccess& file, std::int64_t length, std::uint32_t recordoffset, std::uint32_t& crc) {
    tsecuritydirectory header;
    ReadSecurityDirectory(file, header);
    std::vector<unsigned char> buffer(kBlock);
    crc = 0;
    for (std::int64_t offset = 0; offset < length;) {
        const std::uint32_t want = length - offset < kBlock ? static_cast<std::uint32_t>(length - offset) : kBlock;
        std::uint32_t count = want;
        if (setuputil::ReadBlockAt(file, buffer.data(), count, offset) != want) return false;
        ZeroRange(buffer.data(), offset, want, header.checksumoffset, 4);
        ZeroRange(buffer.data(), offset, want, header.entryoffset, 8);
        ZeroRange(buffer.data(), offset, want, recordoffset, sizeof(tpayloadcheck));
        crc = Crc32(crc, buffer.data(), want);
        offset += want;
    }
    return true;
}

bool PayloadIntact(setuputil::FileAccess& file, const tpayloadcheck& check) {
    const std::int64_t end = PayloadEnd(file);
    if (end == static_cast<std::int64_t>(check.stubsize)) return true;
    if (end != static_cast<std::int64_t>(check.stubsize) + check.payloadlength) return false;
    std::uint32_t crc = 0;
    if (!CoversWholeFile(check)) return FileCrc32(file, check.stubsize, check.payloadlength, crc) && crc == check.crc32;
    // The record must be the one at its offset, inside the stub: else the
    // bytes left out would be others.
    tpayloadcheck stored{};
    std::uint32_t count = sizeof stored;
    if (check.recordoffset > check.stubsize || check.stubsize - check.recordoffset < sizeof stored ||
        setuputil::ReadBlockAt(file, &stored, count, check.recordoffset) != sizeof stored ||
        std::memcmp(&stored, &check, sizeof stored) != 0)
        return false;
    return WholeFileCrc32(file, end, check.recordoffset, crc) && crc == check.crc32;
}

}  // namespace payload
