// What the uninstall may delete, whatever the registration says.
//
// The folders and keys it removes are built from registry values that
// anyone with write access can change, or that a damaged registration
// leaves empty.  A folder tree deletion is applied only to a path that
// IsRemovableFolder accepts; a key deletion only when the name completing
// its path is a real name (HasCompletingName).
#pragma once

#include <string>
#include <vector>

namespace installengine {

// True when `path` may be deleted as a whole tree: an absolute path on a
// drive ("X:\...") below its root -- never a UNC path ("\\server\share\...",
// also the machine's own shares) -- with no "." or ".."
// part (nor a part made only of dots and blanks, which the platform reads
// the same way), no "\\?\" or "\\.\" device prefix, none of the pattern
// and forbidden characters * ? " < > | or a control character (the shell's
// delete would expand a pattern), and which is neither
// one of `protectedfolders` nor a folder that contains one of them, nor
// one of `protectedtrees` or a folder inside one.
// Compared without letter case, ignoring empty parts, trailing blanks
// and dots of a part, and '/' written for '\'.
bool IsRemovableFolder(const std::u16string& path, const std::vector<std::u16string>& protectedfolders,
                       const std::vector<std::u16string>& protectedtrees = {});

// True when both are absolute paths (as IsAbsoluteFilePath) naming the same
// place under the comparison IsRemovableFolder uses.
bool IsSamePlace(const std::u16string& a, const std::u16string& b);
// True when `inner` is `outer` or lies below it, under the same comparison.
bool IsInside(const std::u16string& inner, const std::u16string& outer);

// The per-user settings key the uninstall may delete (below
// HKEY_CURRENT_USER): "software" followed by at least two names, the first
// of them none of the keys every program shares (Microsoft, Classes,
// Policies, Wow6432Node, Clients, RegisteredApplications, ...).
bool IsRemovableSettingsKey(const std::string& keypath);

// True when a key name that completes a key path holds something besides
// backslashes and blanks.
bool HasCompletingName(const std::string& name);
bool HasCompletingName(const std::u16string& name);

// The file association the uninstall removes is named by a registry value
// that nothing of ours writes, so it is trusted only in its one sound form:
// an extension key (".ext", one key name) whose file type is one plain key
// name of its own, never one of the classes keys every program shares
// (CLSID, Interface, exefile, ...).
bool IsRemovableExtensionKey(const std::string& extension);
bool IsRemovableFileTypeKey(const std::string& filetype);

// The keys under HKEY_CLASSES_ROOT the uninstall deletes for the extension
// key `extension` whose default value is `filetype`; an empty name means
// that key stays.  The extension key goes only with a file type that
// passes IsRemovableFileTypeKey, or when it names none: an extension that
// points at a shared type (".txt" at "txtfile") is another program's, and
// neither key is touched.
struct AssociationKeys {
    std::string filetype;
    std::string extension;
};
AssociationKeys AssociationKeysToRemove(const std::string& extension, const std::string& filetype);

// A file path the uninstall may remove with RemoveFile: absolute, free
// of "." and ".." parts and of the characters IsRemovableFolder refuses.
bool IsAbsoluteFilePath(const std::u16string& path);

// The desktop shortcut the uninstall removes: an IsAbsoluteFilePath whose
// name ends in ".lnk" (any letter case).  Anything else the "Desktop"
// value might name stays.
bool IsShortcutFilePath(const std::u16string& path);

}  // namespace installengine
