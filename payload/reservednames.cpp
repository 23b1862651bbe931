#include "payload/reservednames.hpp"

#include "payload/sacformat.hpp"
#include "setuputil/namefold.hpp"

namespace payload {

bool IsReservedTopName(const std::u16string& name) {
    for (const char16_t* reserved : {kInstallRecordName, kUpdateBackupFolder, kUninstallerEntryName})
        if (setuputil::SameName(name, reserved)) return true;
    return false;
}

}  // namespace payload
