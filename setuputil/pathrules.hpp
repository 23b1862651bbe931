// Path rules: separators, reserved device names, characters that names built
// from product texts must not hold.  Paths are wide strings with backslashes.
#pragma once

#include <string>

namespace setuputil {

// One backslash appended to a non-empty path that does not end in one.
std::u16string AddBackslash(const std::u16string& path);
// One trailing backslash removed, if there is one.
std::u16string RemoveBackslash(const std::u16string& path);
// The folder holding `path` (one trailing backslash ignored): empty when
// the path has no backslash before its last part.
std::u16string ParentFolder(const std::u16string& path);

// Drops \ / : * ? " < > | ; other characters stay as they are, so a name in
// any script keeps its script (a text that came from the 8-bit code page
// comes out as a round trip through it would give it).
std::u16string StripBadNameChars(const std::u16string& name);

// True for a path that names the same place whatever the current folder
// and drive: a drive letter, a colon and a separator ("C:\...") or a UNC
// path with a server and a share ("\\server\share..."); '/' counts as a
// separator.  Relative ("Vantrell"), rooted without a drive ("\Vantrell"),
// drive-relative ("D:Vantrell") and device-namespace ("\\?\", "\\.\")
// paths do not.
bool IsAbsoluteWindowsPath(const std::u16string& path);

// COM1-COM4, LPT1-LPT9 and AUX as a whole name or as the last component after
// a backslash, in any letter case.  CON, PRN, NUL and names with an extension
// do not count.
bool IsDeviceName(const std::string& name);

}  // namespace setuputil
