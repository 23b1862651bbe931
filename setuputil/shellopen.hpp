// Opening a program or document the way the desktop shell does.
#pragma once

#include <string>

namespace setuputil {

// Starts the program, or opens the document with its associated program,
// asynchronously; whether that worked is not reported.  The wide call
// where the platform has it (IsWin2000OrLater), so a path outside the
// 8-bit code page opens too; the 8-bit call otherwise.
void ShellOpen(const std::u16string& path);

// Starts the program `program` with the command line `"program" arguments`
// in the folder `folder` ("" this process's), its window hidden or shown
// normally.  With `wait` it waits for the program's end and `exitcode` gets
// its exit code.  A program whose manifest asks for administrator rights,
// started from a process without them, goes through the shell, which asks
// the user for consent.  False when the program could not be started.
bool RunProgram(const std::u16string& program, const std::u16string& arguments, const std::u16string& folder,
                bool hidden, bool wait, unsigned long* exitcode);

// How RunAsSignedInUser started a program: as the user (through the
// desktop shell, or from this process when it is not elevated), from this
// elevated process because the desktop shell could not be reached, or not.
enum class StartedAs { User, Elevated, NotStarted };

// Starts `program` as the user who is signed in at the desktop, not with
// this process's administrator rights: through the desktop shell's own
// ShellExecute (the shell's window, its view's dispatch object,
// IShellDispatch2::ShellExecute), which runs with the shell's token.  When
// this process is not elevated, or the desktop shell cannot be reached (no
// Explorer running, as under Wine), the program starts from this process
// (RunProgram, not waited for) and the answer says so.  Neither way can wait
// for the program or learn its exit code.
StartedAs RunAsSignedInUser(const std::u16string& program, const std::u16string& arguments,
                            const std::u16string& folder, bool hidden);

// The desktop shell's own ShellExecute alone: false when the shell cannot
// be reached (then nothing was started).
bool ShellExecuteAsDesktopUser(const std::u16string& program, const std::u16string& arguments,
                               const std::u16string& folder, bool hidden);

// True when this process runs with an elevated (administrator) token.
bool IsProcessElevated();

}  // namespace setuputil
