#include "mainunit/wizardtexts.hpp"

#include "setuputil/pathrules.hpp"

namespace mainunit {

InstallTexts MakeInstallTexts(const std::string& product, const std::string& version) {
    InstallTexts t;
    t.caption = product + " Installer - Tallowin";
    t.welcometitle = "Welcome to the... \n            " + product + " installer!";
    t.welcomelabel = "Tallowin will install " + product + " " + version +
                     " on your computer.  It is recommended that you close all other applications before continuing.";
    t.installpathlabel = "Install " + product + " to:";
    t.clicknext2 = "Click 'Next' to begin installing " + product + ".";
    t.installinglabel = "Installing " + product + "...";
    t.finishlabel = product + " was successfully installed on your computer.";
    t.launch = "Run " + product + ".";
    return t;
}

UninstallTexts MakeUninstallTexts(const std::string& product) {
    UninstallTexts t;
    t.caption = product + " Uninstaller - Tallowin";
    t.welcometitle = "Welcome to the " + product + " Uninstaller!";
    t.welcomelabel = "Tallowin will uninstall " + product + " from your computer.";
    t.clicknext1 = "Click 'Next' to begin uninstalling " + product + ".";
    t.uninstallfinishlabel = product + " was successfully removed from your computer.";
    return t;
}

std::u16string DestinationText(const std::u16string& folder, const std::u16string& defaultsubfolder) {
    return setuputil::RemoveBackslash(folder) + defaultsubfolder;
}

std::u16string FileInFolder(const std::u16string& folder, const std::u16string& name) {
    return setuputil::AddBackslash(folder) + name;
}

std::u16string SetupDataProblem(const std::u16string& errortext) {
    return u"Problem accessing setup data. (" + errortext + u")";
}

std::u16string InstallationError(const std::u16string& errortext) {
    return u"An error occurred during the installation process. (" + errortext + u")";
}

std::u16string DowngradeRefused(const std::u16string& product, const std::u16string& installed,
                                const std::u16string& version) {
    return product + u" " + installed + u" is already installed. This installer holds the older version " + version +
           u"; uninstall " + installed + u" first to install it.";
}

std::u16string InstalledElsewhere(const std::u16string& product, const std::u16string& folder) {
    return product + u" is already installed in " + folder +
           u". To install it in another folder, uninstall it first.";
}

std::u16string FileInUse(const std::u16string& file, const std::vector<std::u16string>& programs) {
    if (programs.empty())
        return u"Unable to replace the file " + file +
               u". It is in use by another program. Close that program and click Retry, or click Cancel to keep "
               u"the installed version.";
    std::u16string names;
    for (const std::u16string& program : programs) names += (names.empty() ? u"" : u", ") + program;
    return u"Unable to replace the file " + file + u". It is in use by: " + names +
           u". Close these programs and click Retry, or click Cancel to keep the installed version.";
}

std::u16string UpdateNotRestored(const std::u16string& what) {
    return u"The installed version could not be fully restored: " + what;
}

}  // namespace mainunit
