// The inputs of an install (installplan.hpp) as the installer's own files
// give them: the trailer's names, folders, services and shortcuts, the
// archive's sizes, and the folders of the machine it runs on.  The worker
// fills the machine's folders from the running system; `tallowin plan`
// fills them with the folders a typical machine has, so that what it shows
// comes from the same plan the worker carries out.
#pragma once

#include "installengine/installplan.hpp"
#include "payload/installscope.hpp"
#include "payload/sacentry.hpp"
#include "payload/setuptrailer.hpp"

#include <string>
#include <vector>

namespace installengine {

struct MachineFolders {
    std::u16string programs;       // the user's Start-menu Programs folder
    std::u16string startmenu;      // the user's Start Menu folder
    std::u16string desktop;        // the user's desktop
    std::u16string windows;        // the Windows folder
    std::u16string localappdata;   // the user's local application data
    bool serviceplatform = true;   // the system has a service control manager of generation 5 or later
};

// Everything but the publisher, the record's identifier, the language, the
// uninstall shortcut's caption and the chosen tasks, which the caller adds.
InstallInputs InputsFromInstaller(const payload::tsetuptrailer& trailer,
                                  const std::vector<payload::DirectoryEntry>& entries, payload::InstallScope scope,
                                  const std::u16string& installfolder, const MachineFolders& folders);

}  // namespace installengine
