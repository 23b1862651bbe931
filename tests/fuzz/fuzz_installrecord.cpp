// libFuzzer target: the install record's parser on any text.  What parses
// must hold only entries the uninstall may act on, and must come back the
// same through the writer.  Its entries, as the installed version's, and
// the record's own files folded and shuffled by the input, as a new
// version's: what the update drops is never a name the new version writes
// (names compared as the system compares them).  The same bytes go to the
// parser of the product's declarations, the other text record of ours an
// installer carries: what parses names only vendor keys and comes back the
// same through its writer.
#include "installengine/installrecord.hpp"
#include "installengine/updateplan.hpp"
#include "payload/declarations.hpp"
#include "setuputil/namefold.hpp"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void CheckDeclarations(const std::uint8_t* data, std::size_t size) {
    payload::Declarations declarations;
    std::string error;
    if (!payload::ParseDeclarations(data, size, declarations, error)) return;
    for (const payload::RegistryDeclaration& d : declarations.registry)
        if (!payload::IsVendorKey(d.key) || !payload::IsDeclarableValueName(d.name)) std::abort();
    const std::string again = payload::FormatDeclarations(declarations);
    payload::Declarations back;
    if (again.empty() || !payload::ParseDeclarations(again.data(), again.size(), back, error) ||
        back.registry.size() != declarations.registry.size() || back.startatsignin != declarations.startatsignin ||
        back.signinarguments != declarations.signinarguments)
        std::abort();
    for (std::size_t i = 0; i < back.registry.size(); ++i) {
        const payload::RegistryDeclaration &a = declarations.registry[i], &b = back.registry[i];
        if (a.type != b.type || a.key != b.key || a.name != b.name || a.texts != b.texts || a.number != b.number ||
            a.bytes != b.bytes)
            std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CheckDeclarations(data, size);
    const std::string text(reinterpret_cast<const char*>(data), size);
    const installengine::ParsedInstallRecord parsed = installengine::ParseInstallRecord(text);
    if (!parsed.ok) return 0;
    const installengine::InstallRecord& r = parsed.record;
    for (const auto* list : {&r.files, &r.folders})
        for (const std::u16string& entry : *list)
            if (!installengine::IsPlainRelativePath(entry)) std::abort();
    if (r.files.size() + r.folders.size() > installengine::kMaxRecordEntries) std::abort();
    installengine::RecordedRegistryEntry entry;
    for (const std::u16string& value : r.registryvalues)
        if (!installengine::ParseRecordedValue(value, entry) || !payload::IsVendorKey(entry.key)) std::abort();
    for (const std::u16string& key : r.createdkeys)
        if (!installengine::ParseRecordedKey(key, entry) || !payload::IsVendorKey(entry.key)) std::abort();
    std::vector<std::u16string> newfiles;
    for (std::size_t i = 0; i < r.files.size(); ++i) {
        std::u16string name = r.files[i];
        const std::uint8_t pick = data[i % size];
        if (pick & 1) continue;  // dropped by the new version
        if (pick & 2) name = setuputil::FoldName(name);
        newfiles.push_back(name);
    }
    const installengine::DroppedEntries dropped = installengine::DroppedByUpdate(r, newfiles, {});
    for (const std::u16string& gone : dropped.files)
        for (const std::u16string& kept : newfiles)
            if (setuputil::SameName(gone, kept)) std::abort();
    const std::string again = installengine::FormatInstallRecord(r);
    if (again.empty()) return 0;  // e.g. an empty service name the writer refuses
    const installengine::ParsedInstallRecord back = installengine::ParseInstallRecord(again);
    if (!back.ok || back.record.files != r.files || back.record.folders != r.folders ||
        back.record.programfolder != r.programfolder || back.record.id != r.id ||
        back.record.registryvalues != r.registryvalues || back.record.createdkeys != r.createdkeys ||
        back.record.signin != r.signin || back.record.signincommand != r.signincommand)
        std::abort();
    return 0;
}
