// Opening a program or document the way the desktop shell does.
#pragma once

#include <string>

namespace setuputil {

// Starts the program, or opens the document with its associated program,
// asynchronously; whether that worked is not reported.  The wide call
// where the platform has it (IsWin2000OrLater), so a path outside the
// 8-bit code page opens too; the 8-bit call otherwise.
void ShellOpen(const std::u16string& path);

}  // namespace setuputil
