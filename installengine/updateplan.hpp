// What installing over an installed version of the product means, decided
// as data: which version is newer, what kind of install this is, and which
// files and folders of the installed version the new one no longer carries.
//
// An installed version is found through its uninstall key
// ("InstallLocation" and "DisplayVersion", registration.hpp); both are
// untrusted, so the host checks the folder before it counts as installed.
#pragma once

#include "installengine/installrecord.hpp"
#include "payload/reservednames.hpp"

#include <string>
#include <vector>

namespace installengine {

// Compares two product versions by their leading dot-separated numbers
// ("3.10" is newer than "3.9"; missing parts are 0, so "2.1" equals
// "2.1.0"; any text after the numbers is ignored).  Numbers of any length
// compare without overflow.  When either has no leading number, equal texts
// are the same version and anything else counts as newer.  Answers <0 when
// `version` is older than `installed`, 0 when the same, >0 when newer.
int CompareProductVersions(const std::string& version, const std::string& installed);

enum class InstallKind {
    FirstInstall,  // nothing installed (or an installation that cannot be trusted)
    Update,        // a newer version over the installed one, in its folder
    Repair,        // the same version again, in its folder: every file written again
    Downgrade,     // an older version: refused before anything changes
};
InstallKind KindOfInstall(bool installed, const std::string& installedversion, const std::string& version);

// The folder, inside the program folder, that holds what an update moves
// aside until it has succeeded.  Extraction may not write into it and an
// update never removes anything below it as a dropped file.
using payload::kUpdateBackupFolder;  // payload/reservednames.hpp: the builder keeps products from it

// The files of the installed version's record that the new version does not
// write (`newfiles`, relative), compared as the system compares names
// (setuputil/namefold.hpp: "Ä.txt" is "ä.txt"): what an update removes.  A
// file whose name the new version uses for a folder is not among them.  The record's hostile entries were already left out by its
// parser; the record itself and anything below the backup folder never
// count.  `droppedfolders`: the record's folders the new version does not
// create, children before parents (removed only when empty).
struct DroppedEntries {
    std::vector<std::u16string> files;
    std::vector<std::u16string> folders;
};
DroppedEntries DroppedByUpdate(const InstallRecord& installed, const std::vector<std::u16string>& newfiles,
                               const std::vector<std::u16string>& newfolders);

// True when `relative` is the backup folder or lies below it.
bool IsInUpdateBackup(const std::u16string& relative);

}  // namespace installengine
