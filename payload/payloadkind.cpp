#include "payload/payloadkind.hpp"

#include <cstring>

namespace payload {

bool ParseKindRecord(const void* data, std::size_t size, PayloadKind& kind) {
    tkindrecord record;
    if (data == nullptr || size != sizeof record) return false;
    std::memcpy(&record, data, sizeof record);
    if (std::memcmp(record.mark, kPayloadKindMark, sizeof record.mark) != 0) return false;
    if (record.kind != static_cast<std::uint32_t>(PayloadKind::Sac) &&
        record.kind != static_cast<std::uint32_t>(PayloadKind::Solid))
        return false;
    kind = static_cast<PayloadKind>(record.kind);
    return true;
}

tkindrecord MakeKindRecord(PayloadKind kind) {
    tkindrecord record{};
    std::memcpy(record.mark, kPayloadKindMark, sizeof record.mark);
    record.kind = static_cast<std::uint32_t>(kind);
    return record;
}

}  // namespace payload
