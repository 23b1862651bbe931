#include "payload/reservednames.hpp"

#include "payload/sacformat.hpp"
#include "setuputil/codepage.hpp"

namespace payload {

bool IsReservedTopName(const std::u16string& name) {
    const std::u16string upper = setuputil::UpperCaseW(name);
    for (const char16_t* reserved : {kInstallRecordName, kUpdateBackupFolder, kUninstallerEntryName})
        if (upper == setuputil::UpperCaseW(reserved)) return true;
    return false;
}

}  // namespace payload
