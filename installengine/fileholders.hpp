// The programs that hold a file open, as the system's Restart Manager
// names them, for the question an update asks about a file it cannot
// replace, and closing them when the user agrees.  The Restart Manager is
// loaded at run time: where the system has none, or it finds no holder
// (Wine), the list is empty and the question simply names no program.
#pragma once

#include <string>
#include <vector>

namespace installengine {

// At most a handful of names, each a program's own name for itself.
// `closable` when the system names holders and each is a program with a
// window or a console of its own: never the shell (a product's shell
// extension), a service or a process the system cannot do without, which
// the update would leave closed.
struct FileHolders {
    std::vector<std::u16string> names;
    bool closable = false;
};
FileHolders ProgramsHoldingFile(const std::u16string& path);

// Asks the programs holding `path` to close, as the system asks them when
// the user signs out: each may save its work first, or refuse.  True when
// the Restart Manager reports every one closed; never forces a program.
bool CloseProgramsHoldingFile(const std::u16string& path);

}  // namespace installengine
