// The vendor's signing command, run by the builder on a file to sign.
//
// The command is a shell command line (`/bin/sh -c` on POSIX, `cmd /s /c` on
// Windows) in which every "{file}" stands for the file, quoted for that
// shell; the shell gets it as it stands, with nothing wrapped around it (a
// "#" is a comment, as it would be typed).  It must leave the signed file
// at the same path and exit 0.  Its output is gathered and shown only when
// it fails.  A signing command
// usually holds a password or a key's location, so no message ever shows
// more of it than the program's name (`ElidedCommand`).
#pragma once

#include <filesystem>
#include <string>

namespace tallowin {

// The placeholder the command names its file by.
inline constexpr char kSignFilePlaceholder[] = "{file}";

// `command` with everything after its first word (the program, quoted or
// not) replaced by " ...".
std::string ElidedCommand(const std::string& command);

// `command` with each "{file}" replaced by `file` quoted for the shell.
std::string SignCommandFor(const std::string& command, const std::filesystem::path& file);

// Runs `command` on `file`.  False with `error` set (the elided command,
// its exit status and its output) when it does not exit 0 or leaves no PE
// program with a certificate table at `file`.  `scratch` is a file the command's output is gathered
// in; it is removed afterwards.
bool RunSignCommand(const std::string& command, const std::filesystem::path& file, const std::filesystem::path& scratch,
                    std::string& error);

}  // namespace tallowin
