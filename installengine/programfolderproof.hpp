// The proof that a registered program folder is the product's: the folder
// passes the uninstall guard (protectedfolders.hpp) and holds an install
// record (installrecord.hpp) that parses, whose identifier is the one the
// uninstall key holds ("InstallRecordId"), whose product and program names
// are the product's, and whose program folder is the folder, both resolved
// to their final paths.  The uninstall deletes nothing without it; an
// update removes the installed version's dropped files only with it.
#pragma once

#include "installengine/installhost.hpp"
#include "installengine/installrecord.hpp"

#include <string>

namespace installengine {

struct FolderProof {
    bool ok = false;
    InstallRecord record;  // the proven record, when ok
    std::u16string reason;  // why there is none to trust, in the host's language, when not ok
};

FolderProof ProveProgramFolder(const InstallHost& host, const std::u16string& folder, const std::string& registeredid,
                               const std::string& productname, const std::string& exename);

}  // namespace installengine
