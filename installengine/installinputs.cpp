#include "installengine/installinputs.hpp"

namespace installengine {

InstallInputs InputsFromInstaller(const payload::tsetuptrailer& trailer,
                                  const std::vector<payload::DirectoryEntry>& entries, payload::InstallScope scope,
                                  const std::u16string& installfolder, const MachineFolders& folders) {
    InstallInputs in;
    in.installfolder = installfolder;
    in.exename = payload::ReadShortString(trailer.exename);
    in.productname = payload::ReadShortString(trailer.productname);
    in.productversion = payload::ReadShortString(trailer.productversion);
    for (const payload::DirectoryEntry& entry : entries)
        if (entry.filesize > 0 && !entry.prerequisite) in.payloadbytes += entry.filesize;  // not installed
    in.startmenufolder = payload::ReadWideField(trailer.startmenufolder);
    in.appdatafolder = payload::ReadShortString(trailer.appdatafolder);
    in.services = payload::UsedServiceSlots(trailer);
    in.shortcuts = payload::UsedShortcutSlots(trailer);
    in.programsfolder = folders.programs;
    in.startmenuroot = folders.startmenu;
    in.desktopfolder = folders.desktop;
    // A per-user product keeps its uninstaller below the user's own local
    // application data and has no services (the builder refuses them).
    const bool peruser = scope == payload::InstallScope::User;
    in.windowsfolder = peruser ? folders.localappdata : folders.windows;
    in.withservices = folders.serviceplatform && !peruser;
    in.scope = scope;
    return in;
}

}  // namespace installengine
