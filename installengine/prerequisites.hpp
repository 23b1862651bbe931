// Running what the product needs besides its files, on Windows: the
// prerequisites' checks and their private temporary folder, and the
// vendor's own programs (vendorprograms.hpp holds the rules as data).
//
// A prerequisite's check reads a registry value in both registry views (a
// 32-bit stub sees the 64-bit one too) or a file's version resource.  Its
// installer is extracted into a folder of its own below the user's
// temporary folder, made new for the run (never one that was there), run
// from there with the installer's rights and deleted afterwards.
//
// A vendor's program after the install runs as the user who started the
// installer unless it asks to be elevated: when the installer runs
// elevated, through the desktop shell (setuputil::RunAsSignedInUser),
// which cannot wait for it; where the shell cannot be reached (no Explorer,
// as under Wine) it starts from the installer with the installer's rights
// and the log says so.  Programs the uninstall runs are the record's, in
// the proven program folder, reached through no link.
#pragma once

#include "payload/declarations.hpp"

#include <cstdint>
#include <string>

namespace installengine {

// True when the check of `p` finds the prerequisite there; `found` then
// says what it found (for the log).  A prerequisite without a check is
// never there.
bool PrerequisitePresent(const payload::PrerequisiteDeclaration& p, std::u16string& found);

// A new, empty folder below the user's temporary folder; "" when none
// could be made.
std::u16string NewPrivateTempFolder();
// Deletes `file` in `folder` and then the folder; what the program left
// besides stays (with the folder) and the answer is false.
bool RemovePrivateTempFolder(const std::u16string& folder, const std::u16string& file);

// The program and arguments that run the prerequisite's installer
// `installer`: itself, or for a Windows Installer package (".msi") the
// system's msiexec with "/i".
void PrerequisiteCommand(const std::u16string& installer, const std::u16string& arguments, std::u16string& program,
                         std::u16string& commandarguments);

// How a vendor's program ran.
struct ProgramRun {
    bool started = false;
    bool waited = false;          // the exit code is known
    std::uint32_t exitcode = 0;
    std::u16string how;           // for the log: as whom, and why
};

// Runs `program` with `arguments` in `folder`: elevated (with this
// process's rights, waited for as `run` says) or as the signed-in user.
ProgramRun RunVendorProgram(const payload::RunDeclaration& run, const std::u16string& program,
                            const std::u16string& arguments, const std::u16string& folder, bool asuser);

// True when `relative` below `folder` is a plain file reached through no
// link (its final path is the path its names give).
bool IsPlainFileInFolder(const std::u16string& folder, const std::u16string& relative);

}  // namespace installengine
