// The folders of this machine the uninstall never deletes and the install
// never takes as its program folder.
//
// Protected with every folder that contains one: every folder the shell
// names as special (desktop, Documents, Startup, the Programs and Start
// Menu folders of the user and of all users, application data, the
// profile, Program Files, ...), the user's own Programs folder of per-user
// installs wherever it is redirected, the 64-bit Program Files folders a 32-bit
// program is not shown, ProgramData, every user's profile (the registry's
// profile list, with Default and Public), the folders directly inside each
// profile and its AppData, the folder holding the profiles and every folder
// in it, and every drive's root.
//
// Protected with everything inside: the Windows folder, the Common Files
// folders, the system's own applications inside each Program Files folder
// ("Windows Defender", "Internet Explorer", "WindowsApps", ...), the
// system's data in ProgramData\Microsoft and the Default profile.
//
// A path is checked as given and in its final form: short names spelled
// out and, where the folder exists, links and junctions resolved to their
// target (a path through C:\Documents and Settings is checked as the path
// below C:\Users it is).
#pragma once

#include <string>
#include <vector>

namespace installengine {

struct ProtectedPlaces {
    std::vector<std::u16string> folders;  // never deleted, nor any folder containing one
    std::vector<std::u16string> trees;    // never deleted, nor anything inside
};

// Asked of the system on every call (the uninstall asks a handful of times).
// Each place comes as the system reports it and in its final form.
ProtectedPlaces ProtectedFolders();

// The path with short names spelled out and links and junctions resolved,
// as the system opens it; "" when it does not exist or the system cannot
// tell.  A path that resolves to a share comes back as "\\server\share\...".
std::u16string FinalPath(const std::u16string& path);

// True when `a` and `b` are absolute paths of the same folder: the same
// place by IsSamePlace (letter case, a trailing backslash), or, where both
// exist, by their final paths (a short name, a link to it).
bool IsSameFolderHere(const std::u16string& a, const std::u16string& b);

// IsRemovableFolder against ProtectedFolders(), for the path as given and,
// when it exists, for its final form too.
bool IsRemovableFolderHere(const std::u16string& path);

}  // namespace installengine
