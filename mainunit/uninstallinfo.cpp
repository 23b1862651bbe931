#include "mainunit/uninstallinfo.hpp"

#include "installengine/registration.hpp"
#include "setuputil/codepage.hpp"
#include "setuputil/textconv.hpp"

#include <cstring>

namespace mainunit {

namespace {

std::string CutTo255(const std::string& text) { return text.size() > 255 ? text.substr(0, 255) : text; }

}  // namespace

bool LoadUninstallInfo(const std::u16string& programname, const MachineStringReader& read,
                       payload::tsetuptrailer& trailer, std::u16string& destfolder) {
    const std::string exename = CutTo255(setuputil::WideToAnsi(programname));
    payload::WriteShortString(trailer.exename, exename);
    const std::string key = installengine::AppPathsKeyFor(exename);

    const std::string productname = CutTo255(read(key, installengine::kDisplaynameValue));
    payload::WriteShortString(trailer.productname, productname);
    destfolder = setuputil::DecodeLetterHex(read(key, installengine::kPathValue));

    char16_t startmenu[setuputil::kWideBufferUnits] = {};
    setuputil::CopyToWideBuffer(startmenu, setuputil::DecodeLetterHex(read(key, installengine::kStartpathValue)));
    static_assert(setuputil::kWideBufferUnits <= payload::kWideFieldUnits);
    std::memset(trailer.startmenufolder, 0, sizeof(trailer.startmenufolder));
    std::memcpy(trailer.startmenufolder, startmenu, sizeof(startmenu));

    payload::WriteShortString(trailer.appdatafolder, CutTo255(read(key, installengine::kAppDataValue)));
    return !destfolder.empty() && !productname.empty();
}

}  // namespace mainunit
