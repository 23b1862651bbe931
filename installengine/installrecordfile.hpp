// The install record on disk: "uninstall.dat" in the program folder
// (installrecord.hpp holds its format).
#pragma once

#include "installengine/installrecord.hpp"

#include <string>

namespace installengine {

// A new identifier from the system's random source.
std::string NewInstallRecordId();

// The record's file in `programfolder`.
std::u16string InstallRecordPath(const std::u16string& programfolder);

// Writes `record` into its program folder: under a temporary name in that
// folder, read back and parsed, then moved over "uninstall.dat".  False
// when any of it fails; no partial record is left behind.
bool WriteInstallRecord(const InstallRecord& record);

// The record "uninstall.dat" of `programfolder`; not ok (with the reason)
// when it is missing, not a plain file, larger than kMaxInstallRecordBytes,
// unreadable, or does not parse.
ParsedInstallRecord ReadInstallRecord(const std::u16string& programfolder);

}  // namespace installengine
