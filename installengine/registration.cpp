#include "installengine/registration.hpp"

#include "setuputil/codepage.hpp"
#include "setuputil/pathrules.hpp"
#include "setuputil/textconv.hpp"

namespace installengine {

using namespace setuputil;

std::string AppPathsKeyFor(const std::string& exename) {
    return "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + exename;
}

std::string UninstallKeyFor(const std::string& productname) {
    return "software\\microsoft\\windows\\currentversion\\uninstall\\" + productname;
}

std::string RunKeyFor(const std::string& exename) { return "software\\microsoft\\windows\\currentversion\\run\\" + exename; }

std::string SettingsKeyFor(const std::u16string& startmenufolder) { return "software" + WideToAnsi(startmenufolder); }

std::string ServiceProgramValue(std::size_t slot) { return "service" + Int64ToText(static_cast<std::int64_t>(slot)); }

std::string ServiceNameValue(std::size_t slot) {
    return "servicenames" + Int64ToText(static_cast<std::int64_t>(slot));
}

std::u16string UninstallCommand(const std::u16string& windowsfolder, const std::string& exename) {
    return AddBackslash(windowsfolder) + kUninstallerName + u" " + kUninstallSwitch + u" " + AnsiToWide(exename);
}

std::u16string QuietUninstallCommand(const std::u16string& windowsfolder, const std::string& exename) {
    return UninstallCommand(windowsfolder, exename) + u" " + kUnattendedSwitch;
}

}  // namespace installengine
