// The programs an install runs besides its own work, as data: the
// prerequisites (other installers the product needs first) and the
// vendor's own programs at afterinstall, beforeuninstall and afterupdate
// (payload/declarations.hpp).  Portable: the worker, the uninstall
// sequence, `tallowin plan` and the host tests share it.
//
// What the uninstall runs comes only from the install record, which any
// tool may have written: ParseRecordedRun takes a "beforeuninstall" entry
// apart and refuses anything but a program path relative to the program
// folder (the uninstall also checks the folder is proven the product's and
// the program is reached through no link).
#pragma once

#include "payload/declarations.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace installengine {

// True when `code` is one of `codes`.
bool IsSuccessCode(const std::vector<std::uint32_t>& codes, std::uint32_t code);

// The arguments a prerequisite runs with: its unattended ones under /S
// when it has them.
std::u16string PrerequisiteArguments(const payload::PrerequisiteDeclaration& p, bool unattended);

// A file check's path with a leading {sys}, {win} or {pf} replaced by the
// system folder, the Windows folder or the Program Files folder.
std::u16string CheckFilePath(const std::u16string& path, const std::u16string& system, const std::u16string& windows,
                             const std::u16string& programs);

// Whether a registry or file check's found version (`found`: a value's
// text or number, a file's version; `present` whether there was one) says
// the prerequisite is there.
bool CheckSatisfied(bool present, const std::u16string& found, const std::string& minversion);

// The install record's "prerequisite" entry: the file and its exit code,
// or "skipped".
std::u16string RecordedPrerequisite(const std::u16string& file, bool skipped, std::uint32_t exitcode);

// The install record's "beforeuninstall" entry of `run` with its arguments
// filled in: "flags|codes|program|arguments".
std::u16string RecordedRun(const payload::RunDeclaration& run, const std::u16string& arguments);
// Such an entry taken apart (`arguments` filled in, `program` relative);
// false for anything else, which the uninstall then never runs.
bool ParseRecordedRun(const std::u16string& entry, payload::RunDeclaration& run);

// The declared programs of `when`, in their order.
std::vector<payload::RunDeclaration> RunsAt(const payload::Declarations& declarations, payload::RunWhen when);

}  // namespace installengine
