// Deleting a folder with everything below it through the shell's file
// operation: no question, no progress window, nothing to the recycle bin.
#pragma once

#include <windows.h>

#include <string>

namespace installengine {

// True when the folder is gone afterwards (also when it was missing to
// begin with).  A path holding * or ? is refused (false): the shell would
// delete whatever the pattern matches.  The wide call on generation 5 and later, else the 8-bit one.
bool DeleteFolderTree(HWND owner, const std::u16string& path);

}  // namespace installengine
