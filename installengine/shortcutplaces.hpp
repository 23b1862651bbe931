// Where a shortcut of a product may lie, so that the uninstall and an
// update remove a recorded shortcut only there: the product's Start-menu
// folder (below a Programs folder), the Programs folder, the Start Menu and
// the desktop, the user's or all users'.  Windows builds only.
#pragma once

#include "installengine/installrecord.hpp"

#include <string>

namespace installengine {

// A folder below the user's or all users' Programs folder.
bool IsBelowPrograms(const std::u16string& folder);
// True for the folders above; `record` names the product's Start-menu folder.
bool IsShortcutPlace(const std::u16string& folder, const InstallRecord& record);

}  // namespace installengine
