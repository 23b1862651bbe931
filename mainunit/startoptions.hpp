// The program's command line, read once at the entry, and its exit codes.
//
// Parameter 1 "-ui" (exact, case-sensitive) selects uninstall mode, with the
// product's program name as parameter 2; anything else is install mode.
// Switches follow those parameters, in any letter case:
//   /S           unattended: no window, no message box
//   /D=<folder>  (install, with /S) the destination instead of the one the
//                destination page proposes; one parameter, quoted when it
//                holds blanks
//   /LOG=<file>  (also without /S) append what the run does to <file>
//   /LANG=<code> (also without /S) the wizard's language ("de", "pt-BR");
//                one the installer does not carry is refused with /S
//                (the wizard checks it against its tables) and ignored
//                without
//   /TASKS=<names> (install, also without /S) the optional tasks: names
//                separated by commas, each chosen, or not when it begins
//                with "!" ("desktopicon,!path"); a task not named keeps
//                its default (an update: the installed version's choice).
//                Blanks around a name and empty items are ignored.  The
//                wizard checks the names against the product's tasks
//                (taskchoice.hpp) and refuses an unknown one, with /S or
//                without
// With /S every other parameter in the switches' place is refused.  Without
// /S the program behaves as it always has for any command line: only a
// well-formed /LOG= has an effect.
#pragma once

#include "payload/declarations.hpp"
#include "payload/textids.hpp"

#include <optional>
#include <string>
#include <vector>

namespace mainunit {

// One name of /TASKS=, as given.
struct TaskChange {
    std::u16string name;
    bool chosen = true;  // false: "!name"
};

struct StartOptions {
    bool uninstallmode = false;
    std::u16string programname;  // uninstall mode: parameter 2
    bool unattended = false;
    std::optional<std::u16string> destination;  // /D=, with /S only
    std::u16string logfile;                     // /LOG=
    std::string language;                       // /LANG=, its code as given ("" without)
    std::vector<TaskChange> taskchanges;        // /TASKS=, in the order given
    // Why the command line is refused ("" when it is not): the start-up
    // error of an unattended run, in English; the wizard shows the text
    // `refusalid` with the switch `refusedswitch` in its own language.
    std::u16string refusal;
    payload::TextId refusalid = payload::TextId::UnknownSwitch;
    std::u16string refusedswitch;
    std::u16string commandline;  // the whole line, for the log
};

// `params` are the program's parameters, its own path first.
StartOptions ParseStartOptions(const std::vector<std::u16string>& params);

// Exit codes, the same for the wizard and the unattended run.
inline constexpr int kExitDone = 0;     // installed, or uninstalled
inline constexpr int kExitFailed = 1;   // the work began and failed
inline constexpr int kExitRefused = 2;  // nothing was changed: a start-up error, a bad switch or
                                        // destination, a failed preparation, a cancel before any write
inline constexpr int kExitDowngrade = 3;  // a newer version is installed; nothing was changed
inline constexpr int kExitFilesInUse = 4;  // an update met a file another program holds; the
                                           // installed version was put back
// Installed; a prerequisite asked for a restart (the system's own code for it).
inline constexpr int kExitRestartNeeded = static_cast<int>(payload::kExitCodeRestartNeeded);

inline constexpr char16_t kLanguageSwitch[] = u"/LANG=";
inline constexpr char16_t kTasksSwitch[] = u"/TASKS=";
// The English texts UnknownSwitch and RepeatedSwitch without their insert.
inline constexpr char16_t kUnknownSwitch[] = u"Unknown command-line switch: ";
inline constexpr char16_t kRepeatedSwitch[] = u"Command-line switch given twice: ";

}  // namespace mainunit
