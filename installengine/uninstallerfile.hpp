// The product's own uninstaller file (installengine/registration.hpp says
// where it lives): the file operations that put it in place and take it
// away again.
//
// The install writes the uninstaller whole under a temporary name in its
// folder and then moves it over the old one, so the registration never
// names a partial file.  The uninstall, once the product is gone, removes
// it.  When the uninstall runs from that very file (the usual case: the
// registered command started it), Windows keeps a running program's file
// from being deleted but lets it be renamed within its volume: the file
// is renamed to a temporary name in the same folder, so the product's name
// is free at once for a later install, and the system deletes the renamed
// file (and the folder, when it is then empty) at the next restart.
//
// A per-user uninstall cannot ask for that (the restart list is the
// machine's, for administrators).  Its uninstaller, renamed the same way
// in the user's own folder, is deleted once this program has ended by the
// system's command processor started hidden and detached from it: it waits
// for the end of a pipe only this program holds open, so it learns the
// moment this process ends, then deletes the renamed file (retrying a few
// seconds while the system lets go of the ended program's file) and the
// folder when empty.  It acts only on that file and folder, computed here,
// which reach it in environment variables rather than in its command line,
// so no character a profile's path may hold (%, !, ^, &, any script) is
// read as the command processor's own; nothing a user passes reaches it.
#pragma once

#include "installengine/installhost.hpp"
#include "payload/installscope.hpp"

#include <string>

namespace installengine {

// A new empty file of a unique name in `folder`; empty when none can be made.
std::u16string NewTemporaryFile(const std::u16string& folder);

// Moves `from` over `to`, replacing it.
bool MoveOver(const std::u16string& from, const std::u16string& to);

// The folder the uninstaller's folder lies in (registration.hpp): the
// Windows folder, or for a per-user install the user's local application
// data.
std::u16string UninstallerBase(payload::InstallScope scope);

// Removes the uninstaller at `path` as described above; the host's log
// gets a line for what was done.  False when it is still there under its
// own name.
bool RemoveUninstallerFile(const std::u16string& path, InstallHost& host,
                           payload::InstallScope scope = payload::InstallScope::Machine);

}  // namespace installengine
