// Where an archive entry may go.
//
// An entry's `filename` and `subfolder` come from the installer file, so a
// damaged or hostile archive could name a path outside the installation
// folder ("..\..\x", "C:\x", "\\server\x", "x:stream") or a device ("COM1",
// "nul.txt").  Extraction asks here before it creates anything, and the
// builder asks the same questions so that it never writes an entry the
// reader would refuse.
//
// Accepted:
//   filename   one plain name: not empty, no \ / :, no control character,
//              not made of dots and spaces only (".", "..", "..."), not a
//              device name, none of * ? " < > | (the platform reads them
//              as patterns or cannot create them), not ending in a dot or
//              a blank (the platform drops those, so "a.txt." would land on
//              "a.txt");
//   subfolder  "" or "\" followed by such names separated by single
//              backslashes (one trailing backslash tolerated).
#pragma once

#include "payload/sacentry.hpp"

#include <string>

namespace payload {

enum class EntryPathProblem {
    None,
    BadFileName,     // empty, ".", "..", a separator, a drive or stream colon
    DeviceFileName,  // CON, NUL, COM1, LPT1.txt, ...
    UnusableFileName,  // * ? " < > |, or a trailing dot or blank
    BadSubfolder,    // "..", a drive, a missing leading backslash, an empty part
    DeviceSubfolder, // a folder part that is a device name
    UnusableSubfolder, // a folder part with * ? " < > |, or a trailing dot or blank
};

// True for the characters no name on the platform may hold beyond the
// separators: * ? " < > | and the control characters.
bool IsForbiddenNameChar(char16_t c);

// One path component as extraction would create it.
EntryPathProblem CheckFileName(const std::u16string& name);
EntryPathProblem CheckSubfolder(const std::u16string& subfolder);
// Both parts of an entry record; the file name is asked first.
EntryPathProblem CheckEntryPath(const std::u16string& filename, const std::u16string& subfolder);

// True for the names the platform opens as devices whatever folder they are
// in: CON, PRN, AUX, NUL, COM0-COM9, LPT0-LPT9, CONIN$, CONOUT$, in any
// letter case, also with an extension or trailing spaces ("nul.txt",
// "COM1 ").  A superset of setuputil::IsDeviceName.
bool IsReservedDeviceName(const std::u16string& name);

// A short English reason for a problem, for error texts ("" for None).
std::u16string EntryPathProblemText(EntryPathProblem problem);

// The entry's path relative to the installation folder, "sub\name", as
// error texts and listings show it.
std::u16string EntryDisplayPath(const DirectoryEntry& entry);

}  // namespace payload
