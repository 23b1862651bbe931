// File-system operations by path.  Each reports by its result only.
//
// On Windows they take the wide calls (the 8-bit ones on a platform older
// than generation 5).  On POSIX hosts backslashes are mapped to '/', and
// ForceFolders treats both as separators.
#pragma once

#include <cstdint>
#include <string>

namespace setuputil {

// True for a path this platform resolves without a current folder: on
// Windows IsAbsoluteWindowsPath (pathrules.hpp), on POSIX hosts one that
// starts with a separator.
bool IsAbsoluteFolder(const std::u16string& path);

// A drive designator ("Q:" or "Q:\") answers true without asking the disk.
// A path holding * or ? names no folder (the find call would take it as a
// pattern and answer for whatever it matches): false.
bool FolderExists(const std::u16string& path);
// Creates the folder and every missing parent; true when it exists afterwards.
bool ForceFolders(const std::u16string& path);
// Removes an empty folder.
bool RemoveFolder(const std::u16string& path);
// An existing file that is not a folder, not a device name and not named
// with * or ?.
bool IsPlainFile(const std::u16string& path);
bool RemoveFile(const std::u16string& path);
// Applies the platform's attribute bits; failure is ignored.  On POSIX only
// the read-only bit (0x01) has an effect: it clears the write permissions.
void SetFileAttrs(const std::u16string& path, std::uint32_t attributes);

inline constexpr std::uint32_t kAttrReadOnly = 0x01;
inline constexpr std::uint32_t kAttrDirectory = 0x10;
inline constexpr std::uint32_t kAttrArchive = 0x20;
// What a file that OpenForWrite has just created or replaced carries
// (Windows sets the archive bit; on POSIX it is writable): applying these
// to it changes nothing.
inline constexpr std::uint32_t kAttrCreatedFile = kAttrArchive;

}  // namespace setuputil
