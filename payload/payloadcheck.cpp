#include "payload/payloadcheck.hpp"

#include "payload/crc32.hpp"
#include "payload/payloadend.hpp"

#include <cstring>
#include <vector>

namespace payload {

bool ParsePayloadCheck(const void* data, std::size_t size, tpayloadcheck& check) {
    if (data == nullptr || size != sizeof check) return false;
    std::memcpy(&check, data, sizeof check);
    return std::memcmp(check.mark, kPayloadCheckMark, sizeof check.mark) == 0;
}

bool FileCrc32(setuputil::FileAccess& file, std::int64_t offset, std::int64_t length, std::uint32_t& crc) {
    constexpr std::uint32_t kBlock = 1u << 20;
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

bool PayloadIntact(setuputil::FileAccess& file, const tpayloadcheck& check) {
    const std::int64_t end = PayloadEnd(file);
    if (end == static_cast<std::int64_t>(check.stubsize)) return true;
    if (end != static_cast<std::int64_t>(check.stubsize) + check.payloadlength) return false;
    std::uint32_t crc = 0;
    return FileCrc32(file, check.stubsize, check.payloadlength, crc) && crc == check.crc32;
}

}  // namespace payload
