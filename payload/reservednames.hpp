// The names at the top of a program folder that the installer keeps for
// itself: the install record, the folder an update moves the installed
// files aside into, the signed uninstaller's entry
// (kUninstallerEntryName, sacformat.hpp) and the prerequisites' folder
// (kPrerequisiteFolder).  A product's own file or folder
// of such a name would be overwritten, or would break every update, so the
// builder refuses it.
#pragma once

#include <string>

namespace payload {

// The install record (installengine/installrecord.hpp).
inline constexpr char16_t kInstallRecordName[] = u"uninstall.dat";
// What an update moves aside until it has succeeded (installengine/updatejournal.hpp).
inline constexpr char16_t kUpdateBackupFolder[] = u"~tallowin-update";

// True when `name`, one name at the top of the program folder, is one of
// the installer's, compared as Windows compares names (case-insensitive,
// ordinal).
bool IsReservedTopName(const std::u16string& name);

// True for the subfolder "\~tallowin-prerequisites" a prerequisite's entry
// lies in (kPrerequisiteFolder, sacformat.hpp), letter case aside.
bool IsPrerequisiteSubfolder(const std::u16string& subfolder);

}  // namespace payload
