// The folders of this machine the uninstall never deletes: every folder
// the shell names as special (desktop, Documents, Startup, the Programs
// and Start Menu folders of the user and of all users, application data,
// the profile, Program Files, the Windows and system folders, ...), the
// user's own Programs folder of per-user installs, the
// 64-bit Program Files and Common Files folders that a 32-bit program is
// not shown, the folder holding the user profiles and every drive's root.
#pragma once

#include <string>
#include <vector>

namespace installengine {

// Asked of the shell on every call (the list is short-lived and the
// uninstall asks a handful of times).  Each folder comes as the shell
// reports it and, when that differs, in its long form.
std::vector<std::u16string> ProtectedFolders();

// IsRemovableFolder against ProtectedFolders(), for the path as given and,
// when the folder exists, for its long form too (so that a short name such
// as C:\PROGRA~1 is recognised).
bool IsRemovableFolderHere(const std::u16string& path);

}  // namespace installengine
