// The programs that hold a file open, as the system's Restart Manager
// names them, for the question an update asks about a file it cannot
// replace.  The Restart Manager is loaded at run time: where the system
// has none, or it finds no holder (Wine), the list is empty and the
// question simply names no program.
#pragma once

#include <string>
#include <vector>

namespace installengine {

// At most a handful of names, each a program's own name for itself.
std::vector<std::u16string> ProgramsHoldingFile(const std::u16string& path);

}  // namespace installengine
