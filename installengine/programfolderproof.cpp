#include "installengine/programfolderproof.hpp"

#include "installengine/installrecordfile.hpp"
#include "installengine/protectedfolders.hpp"
#include "installengine/uninstallguard.hpp"
#include "setuputil/codepage.hpp"
#include "setuputil/namefold.hpp"
#include "setuputil/wintext.hpp"

#include <windows.h>

namespace installengine {

using setuputil::AnsiToWide;

FolderProof ProveProgramFolder(const InstallHost& host, const std::u16string& folder, const std::string& registeredid,
                               const std::string& productname, const std::string& exename) {
    FolderProof proof;
    using payload::TextId;
    const auto refuse = [&](TextId why, const std::u16string& error = {}) {
        proof.reason = host.Text(why, {{u"folder", folder}, {u"error", error}});
        return proof;
    };
    if (!IsRemovableFolderHere(folder)) return refuse(TextId::NotRemovedSystemFolder);
    if (!IsInstallRecordId(registeredid)) return refuse(TextId::NotRemovedNoRecordId);
    const ParsedInstallRecord parsed = ReadInstallRecord(folder);
    if (!parsed.ok) return refuse(TextId::NotRemovedNoRecord, AnsiToWide(parsed.error));
    if (parsed.record.id != registeredid) return refuse(TextId::NotRemovedOtherInstall);
    if (!setuputil::SameName(parsed.record.productname, AnsiToWide(productname)) ||
        (!exename.empty() && !setuputil::SameName(parsed.record.exename, AnsiToWide(exename))))
        return refuse(TextId::NotRemovedOtherProduct);
    const std::u16string here = FinalPath(folder), recorded = FinalPath(parsed.record.programfolder);
    if (here.empty() || !IsSamePlace(here, recorded)) return refuse(TextId::NotRemovedOtherFolder);
    proof.ok = true;
    proof.record = parsed.record;
    return proof;
}

bool ProgramFolderIsGone(const std::u16string& folder) {
    if (!IsAbsoluteFilePath(folder) || folder.size() < 3 || folder[1] != u':') return false;
    if (::GetFileAttributesW(setuputil::WinStr(setuputil::ExtendedPath(folder))) != INVALID_FILE_ATTRIBUTES) return false;
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return false;
    return ::GetFileAttributesW(setuputil::WinStr(folder.substr(0, 3))) != INVALID_FILE_ATTRIBUTES;
}

RecordInFolder FindRecordInFolder(const std::u16string& folder, const std::string& productname) {
    RecordInFolder found;
    if (!IsRemovableFolderHere(folder)) return found;
    const ParsedInstallRecord parsed = ReadInstallRecord(folder);
    if (!parsed.ok) return found;
    found.record = parsed.record;
    if (!setuputil::SameName(parsed.record.productname, AnsiToWide(productname))) {
        found.kind = RecordInFolder::Kind::OtherProduct;
        return found;
    }
    if (IsSameFolderHere(folder, parsed.record.programfolder)) found.kind = RecordInFolder::Kind::ThisProduct;
    return found;
}

}  // namespace installengine
