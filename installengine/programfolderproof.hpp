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

// `exename` "" accepts a record of any program name: an update whose
// program was renamed still proves the installed version's folder.
FolderProof ProveProgramFolder(const InstallHost& host, const std::u16string& folder, const std::string& registeredid,
                               const std::string& productname, const std::string& exename);

// True when the registered program folder is not there at all, on a drive
// that is: not a drive that is out, nor a folder that cannot be read.  Such
// a registration proves nothing and names nothing to update.
bool ProgramFolderIsGone(const std::u16string& folder);

// One folder, one product.  The record a destination folder already holds,
// read before anything is written there.
struct RecordInFolder {
    enum class Kind { None, OtherProduct, ThisProduct } kind = Kind::None;
    InstallRecord record;  // when not None
};
// OtherProduct: a record that parses and names another product (names
// compared as the system compares them).  ThisProduct: the product's own
// record naming this very folder (final paths compared).  None: no record,
// or one that does not parse (the folder holds files of no product) or
// names another folder.
RecordInFolder FindRecordInFolder(const std::u16string& folder, const std::string& productname);

}  // namespace installengine
