// Every text the installer and the uninstaller show a person, named once,
// with its English text.  The English texts are compiled in; every other
// language is a table of the same names (payload/texttable.hpp) that the
// stub carries packed and the builder may change.  Inserts are named in
// braces ({product}, {version}, {folder}, {file}, ...): a translation may
// move them but must use exactly the inserts its English text uses.
//
// DialogFont is not shown as text: it is the face of the wizard's font for
// the language (the 8-bit "MS Sans Serif" has no Cyrillic or CJK glyphs).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace payload {

#define TALLOWIN_TEXTS(X)                                                                                       \
    X(DialogFont, "MS Sans Serif")                                                                              \
    X(InstallerCaption, "{product} Installer - Tallowin")                                                       \
    X(InstallWelcomeTitle, "Welcome to the... \n            {product} installer!")                              \
    X(InstallWelcomeLabel, "Tallowin will install {product} {version} on your computer.  It is recommended "    \
                           "that you close all other applications before continuing.")                         \
    X(ClickNextToContinue, "Click 'Next' to continue.")                                                        \
    X(LicenseTitle, "License Agreement")                                                                        \
    X(LicenseLabel, "Please read the following license agreement carefully.")                                   \
    X(LicenseAgree, "I have read and agree to the terms of the license agreement.")                             \
    X(DestinationTitle, "Destination")                                                                          \
    X(InstallPathLabel, "Install {product} to:")                                                                \
    X(ChangeButton, "Change...")                                                                                \
    X(ClickNextToInstall, "Click 'Next' to begin installing {product}.")                                       \
    X(TasksTitle, "Additional tasks")                                                                           \
    X(TasksLabel, "Select the additional tasks Tallowin should perform, then click 'Next'.")                    \
    X(DesktopIconTask, "Create a desktop shortcut")                                                             \
    X(InstallingTitle, "Installation in Progress")                                                              \
    X(InstallingLabel, "Installing {product}...")                                                               \
    X(FinishTitle, "Installation Completed!")                                                                   \
    X(FinishLabel, "{product} was successfully installed on your computer.")                                   \
    X(RunProgram, "Run {product}.")                                                                             \
    X(ViewReadme, "View the readme file.")                                                                      \
    X(ClickFinish, "Click 'Finish' to exit Tallowin.")                                                         \
    X(UninstallerCaption, "{product} Uninstaller - Tallowin")                                                   \
    X(UninstallWelcomeTitle, "Welcome to the {product} Uninstaller!")                                           \
    X(UninstallWelcomeLabel, "Tallowin will uninstall {product} from your computer.")                          \
    X(ClickNextToUninstall, "Click 'Next' to begin uninstalling {product}.")                                   \
    X(UninstallingTitle, "Performing Uninstall")                                                                \
    X(UninstallingLabel, "Uninstalling {product}...")                                                           \
    X(UninstallFinishTitle, "Uninstall Complete!")                                                              \
    X(UninstallFinishLabel, "{product} was successfully removed from your computer.")                          \
    X(FinishButton, "&Finish")                                                                                  \
    X(BackButton, "<  &Back")                                                                                   \
    X(NextButton, "&Next  >")                                                                                   \
    X(CancelButton, "&Cancel")                                                                                  \
    X(CancelInstallQuestion, "Are you sure you want to cancel this installation?")                              \
    X(CancelUninstallQuestion, "Are you sure you want to cancel this uninstall?")                               \
    X(CancellingLabel, "Cancelling installation...")                                                            \
    X(NoUninstallInfo, "Could not find uninstall information for this program.")                                \
    X(SetupDataProblem, "Problem accessing setup data. ({error})")                                             \
    X(InstallationError, "An error occurred during the installation process. ({error})")                       \
    X(UnknownSwitch, "Unknown command-line switch: {switch}")                                                   \
    X(RepeatedSwitch, "Command-line switch given twice: {switch}")                                              \
    X(UnknownTask, "Unknown task in /TASKS=: {task}")                                                           \
    X(LogFileProblem, "Unable to open the log file {file}")                                                     \
    X(DamagedInstaller, "This installer is damaged: it was cut short or changed after it was built. Please "    \
                        "obtain a new copy.")                                                                   \
    X(SetupFilesNotFound, "Unable to find Setup Files in {file}")                                               \
    X(SetupFileUnreadable, "Unable to read from setup file!")                                                   \
    X(NoInstallFiles, "No install files attached!")                                                             \
    X(FolderNotUsable, "The folder {folder} cannot hold the program: it is a folder of the system or contains " \
                       "one. Please choose a folder of the program's own.")                                     \
    X(ChooserCaption, "Select Folder")                                                                          \
    X(ChooserOk, "OK")                                                                                          \
    X(ChooserCancel, "Cancel")                                                                                  \
    X(InvalidFolder, "You have not specified a valid folder.\nPlease select a folder and click OK.")            \
    X(SettingsQuestion, "Do you want to permanently delete all the settings for this program?")                 \
    X(FolderNotRemoved, "Unable to delete the program folder {folder}")                                         \
    X(NotRemovedSystemFolder, "Nothing was removed: the folder {folder} is a folder of the system or contains " \
                              "one.")                                                                           \
    X(NotRemovedNoRecordId, "Nothing was removed: the registration names no install record.")                   \
    X(NotRemovedNoRecord, "Nothing was removed: the folder {folder} holds no install record of this product "   \
                          "({error}).")                                                                         \
    X(NotRemovedOtherInstall, "Nothing was removed: the install record in {folder} belongs to another "         \
                              "installation.")                                                                  \
    X(NotRemovedOtherProduct, "Nothing was removed: the install record in {folder} is another product's.")      \
    X(NotRemovedOtherFolder, "Nothing was removed: the install record in {folder} names another program "       \
                             "folder.")                                                                         \
    X(SetupDataNotOpened, "The setup data could not be opened.")                                                \
    X(UnexpectedFailure, "Unexpected failure.")                                                                 \
    X(CannotCreateFolder, "Unable to create destination directory for file!")                                  \
    X(CannotCreateFile, "Unable to create file ({file})")                                                       \
    X(CannotSeekSetupFile, "Could not read from SAC file. Perhaps another file is writing to it?")              \
    X(CannotReadSetupFile, "Could not read from SAC file.  Perhaps another file is writing to it.")             \
    X(FileCorrupt, "File corrupt")                                                                              \
    X(CannotWriteFile, "Error writing to file.  File may be in use by another program.")                       \
    X(UninstallShortcut, "Uninstall {product}")                                                                 \
    X(DowngradeRefused, "{product} {installed} is already installed. This installer holds the older version "   \
                        "{version}; uninstall {installed} first to install it.")                                \
    X(InstalledElsewhere, "{product} is already installed in {folder}. To install it in another folder, "       \
                          "uninstall it first.")                                                                \
    X(FileInUse, "Unable to replace the file {file}. It is in use by another program. Close that program and "  \
                 "click Retry, or click Cancel to keep the installed version.")                                 \
    X(FileInUseBy, "Unable to replace the file {file}. It is in use by: {programs}. Close these programs and "  \
                   "click Retry, or click Cancel to keep the installed version.")                               \
    X(CloseHolders, "Unable to replace the file {file}. It is in use by: {programs}. Close these programs now? "  \
                    "They may ask you to save your work first. Click No to close them yourself.")               \
    X(UpdateRestored, "The installed version was restored.")                                                    \
    X(UpdateNotRestored, "The installed version could not be fully restored: {what}")                           \
    X(ErrorCaption, "Error")                                                                                    \
    X(ConfirmCaption, "Confirm")                                                                                \
    X(WarningCaption, "Warning")                                                                                \
    X(FolderKept, "{folder} was not removed: it holds files that {product} did not install.")                  \
    X(FolderHoldsOtherProduct, "The folder {folder} holds the program {other}. Please choose another folder "  \
                               "for {product}.")                                                               \
    X(StaleRegistration, "The program folder {folder} of {product} no longer exists. Remove {product} from "   \
                         "the list of installed programs?")                                             \
    X(InstallingPrerequisite, "Installing {prerequisite}...")                                                   \
    X(PrerequisiteFailed, "{prerequisite} could not be installed (exit code {code}). {product} was not "        \
                          "installed.")                                                                         \
    X(PrerequisiteNotStarted, "{prerequisite} could not be started. {product} was not installed.")             \
    X(RestartNeeded, "Your computer must be restarted to complete the installation.")                           \
    X(ProgramFailed, "The program {program} failed (exit code {code}).")                                        \
    X(ProgramFailedContinue, "The program {program} failed (exit code {code}). Remove {product} anyway?")

enum class TextId : std::uint16_t {
#define TALLOWIN_TEXT_ID(name, english) name,
    TALLOWIN_TEXTS(TALLOWIN_TEXT_ID)
#undef TALLOWIN_TEXT_ID
};

// Defined once (textids.cpp): a copy in every user would cost the stub its
// texts again for each.
inline constexpr std::size_t kTextCount = 0
#define TALLOWIN_TEXT_ONE(name, english) +1
    TALLOWIN_TEXTS(TALLOWIN_TEXT_ONE)
#undef TALLOWIN_TEXT_ONE
    ;
extern const char* const kTextNames[kTextCount];
extern const char* const kEnglishTexts[kTextCount];  // UTF-8 (all of them plain ASCII)

inline std::string_view TextName(TextId id) { return kTextNames[static_cast<std::size_t>(id)]; }
inline std::string_view EnglishText(TextId id) { return kEnglishTexts[static_cast<std::size_t>(id)]; }

}  // namespace payload
