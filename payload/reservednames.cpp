#include "payload/reservednames.hpp"

#include "payload/sacformat.hpp"
#include "setuputil/namefold.hpp"

namespace payload {

bool IsReservedTopName(const std::u16string& name) {
    for (const char16_t* reserved : {kInstallRecordName, kUpdateBackupFolder, kUninstallerEntryName, kPrerequisiteFolder})
        if (setuputil::SameName(name, reserved)) return true;
    return false;
}

bool IsPrerequisiteSubfolder(const std::u16string& subfolder) {
    return !subfolder.empty() && subfolder[0] == u'\\' && setuputil::SameName(subfolder.substr(1), kPrerequisiteFolder);
}

}  // namespace payload
