// Registry key paths: the form the registry calls are given, and the keys a
// tree deletion must never take.
//
// Callers build the keys they delete from registration values ("software" +
// a Start-menu folder, "...\uninstall\" + a product name, ...).  When the
// completing name is empty or odd, the path can end at a key that holds every
// other product's entries; deleting it would remove all those siblings.
#pragma once

#include <string>

namespace setuputil {

// The key path as the registry calls take it: leading and trailing
// backslashes dropped (a leading one is allowed and means the root) and runs
// of backslashes between levels made single.
std::string CanonicalRegPath(const std::string& keypath);

// True for a path no tree deletion may remove: the root itself (an empty
// path), "software" and the fixed parents the callers build on (App Paths,
// Uninstall and Run under software\microsoft\windows\currentversion) with
// every key above them, and the shared keys no product owns
// (software\microsoft, software\classes, software\policies,
// software\wow6432node, and below wow6432node the same chain again).
// Compared without case, with or without surrounding backslashes.
bool IsProtectedRegPath(const std::string& keypath);

}  // namespace setuputil
