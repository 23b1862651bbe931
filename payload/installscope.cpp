#include "payload/installscope.hpp"

#include <cstring>

namespace payload {

bool ParseScopeRecord(const void* data, std::size_t size, InstallScope& scope) {
    tscoperecord record;
    if (data == nullptr || size != sizeof record) return false;
    std::memcpy(&record, data, sizeof record);
    if (std::memcmp(record.mark, kInstallScopeMark, sizeof record.mark) != 0) return false;
    if (record.scope != static_cast<std::uint32_t>(InstallScope::Machine) &&
        record.scope != static_cast<std::uint32_t>(InstallScope::User))
        return false;
    scope = static_cast<InstallScope>(record.scope);
    return true;
}

tscoperecord MakeScopeRecord(InstallScope scope) {
    tscoperecord record{};
    std::memcpy(record.mark, kInstallScopeMark, sizeof record.mark);
    record.scope = static_cast<std::uint32_t>(scope);
    return record;
}

}  // namespace payload
