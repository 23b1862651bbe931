#include "installengine/registration.hpp"

#include "payload/entrypath.hpp"
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

namespace {

bool EndsWithExe(const std::u16string& name) {
    const std::u16string exe = u".exe";
    if (name.size() <= exe.size()) return false;
    for (std::size_t i = 0; i < exe.size(); ++i) {
        char16_t c = name[name.size() - exe.size() + i];
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
        if (c != exe[i]) return false;
    }
    return true;
}

}  // namespace

setuputil::RegRoot RegistrationRoot(payload::InstallScope scope) {
    return scope == payload::InstallScope::User ? setuputil::RegRoot::CurrentUser : setuputil::RegRoot::LocalMachine;
}

std::u16string UninstallerFolder(const std::u16string& windowsfolder) {
    if (windowsfolder.empty()) return u"";
    return AddBackslash(windowsfolder) + kUninstallerFolderName;
}

std::u16string UninstallerPath(const std::u16string& windowsfolder, const std::string& exename) {
    const std::u16string program = AnsiToWide(exename);
    const std::u16string folder = UninstallerFolder(windowsfolder);
    if (folder.empty() || payload::CheckFileName(program) != payload::EntryPathProblem::None) return u"";
    const std::u16string stem = EndsWithExe(program) ? program.substr(0, program.size() - 4) : program;
    return AddBackslash(folder) + stem + kUninstallerSuffix;
}

std::u16string UninstallCommand(const std::u16string& uninstaller, const std::string& exename) {
    return u"\"" + uninstaller + u"\" " + kUninstallSwitch + u" " + AnsiToWide(exename);
}

std::u16string QuietUninstallCommand(const std::u16string& uninstaller, const std::string& exename) {
    return UninstallCommand(uninstaller, exename) + u" " + kUnattendedSwitch;
}

}  // namespace installengine
