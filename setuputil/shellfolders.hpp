// The current user's special folders, as full wide paths.
//
// On current platforms the shell is asked (and creates a missing folder);
// its paths carry no trailing backslash.  On older platforms the paths come
// from the registry's shell-folder values.  A failed query answers "".
#pragma once

#include <string>

namespace setuputil {

std::u16string GetDesktopFolder();
std::u16string GetAppDataFolder();
std::u16string GetStartMenuFolder();
std::u16string GetProgramsFolder();
std::u16string GetWindowsFolder();
// Older platforms without the registry value answer "c:\program files\",
// with its trailing backslash.
std::u16string GetProgramFilesFolder();

}  // namespace setuputil
