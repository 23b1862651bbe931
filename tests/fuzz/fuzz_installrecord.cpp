// libFuzzer target: the install record's parser on any text.  What parses
// must hold only entries the uninstall may act on, and must come back the
// same through the writer.
#include "installengine/installrecord.hpp"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const installengine::ParsedInstallRecord parsed = installengine::ParseInstallRecord(text);
    if (!parsed.ok) return 0;
    const installengine::InstallRecord& r = parsed.record;
    for (const auto* list : {&r.files, &r.folders})
        for (const std::u16string& entry : *list)
            if (!installengine::IsPlainRelativePath(entry)) std::abort();
    if (r.files.size() + r.folders.size() > installengine::kMaxRecordEntries) std::abort();
    const std::string again = installengine::FormatInstallRecord(r);
    if (again.empty()) return 0;  // e.g. an empty service name the writer refuses
    const installengine::ParsedInstallRecord back = installengine::ParseInstallRecord(again);
    if (!back.ok || back.record.files != r.files || back.record.folders != r.folders ||
        back.record.programfolder != r.programfolder || back.record.id != r.id)
        std::abort();
    return 0;
}
