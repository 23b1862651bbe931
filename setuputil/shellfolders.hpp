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

// The folders of a per-user install.  Local application data
// (%LOCALAPPDATA%), and the user's own Programs folder below it, where
// programs installed for this user only live: the known folder
// UserProgramFiles where the platform has it (Windows 7 and later),
// else local application data + "\Programs".  The Programs folder is
// not made here (the install makes it with the program folder).
std::u16string GetLocalAppDataFolder();
std::u16string GetUserProgramsFolder();

}  // namespace setuputil
