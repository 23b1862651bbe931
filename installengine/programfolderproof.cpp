#include "installengine/programfolderproof.hpp"

#include "installengine/installrecordfile.hpp"
#include "installengine/protectedfolders.hpp"
#include "installengine/uninstallguard.hpp"
#include "setuputil/codepage.hpp"

namespace installengine {

using setuputil::AnsiToWide;

FolderProof ProveProgramFolder(const std::u16string& folder, const std::string& registeredid,
                               const std::string& productname, const std::string& exename) {
    FolderProof proof;
    const auto refuse = [&](const std::u16string& why) {
        proof.reason = why;
        return proof;
    };
    if (!IsRemovableFolderHere(folder))
        return refuse(u"the folder " + folder + u" is a folder of the system or contains one.");
    if (!IsInstallRecordId(registeredid)) return refuse(u"the registration names no install record.");
    const ParsedInstallRecord parsed = ReadInstallRecord(folder);
    if (!parsed.ok)
        return refuse(u"the folder " + folder + u" holds no install record of this product (" +
                      AnsiToWide(parsed.error) + u").");
    if (parsed.record.id != registeredid)
        return refuse(u"the install record in " + folder + u" belongs to another installation.");
    if (parsed.record.productname != AnsiToWide(productname) || parsed.record.exename != AnsiToWide(exename))
        return refuse(u"the install record in " + folder + u" is another product's.");
    const std::u16string here = FinalPath(folder), recorded = FinalPath(parsed.record.programfolder);
    if (here.empty() || !IsSamePlace(here, recorded))
        return refuse(u"the install record in " + folder + u" names another program folder.");
    proof.ok = true;
    proof.record = parsed.record;
    return proof;
}

}  // namespace installengine
