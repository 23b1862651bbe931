// What a product declares for the shell and the environment (declaredplan.hpp):
// its folders on PATH, its variables, its file types and link schemes --
// decided, carried out, and undone while they are still the product's.
//
// RecordShell decides before anything is written what the install will make
// its own, and puts it in the install record: a PATH entry only when it is
// not there already (one that is, a user's own, is never recorded, so never
// removed); a variable with the value it held before; a file type's class key
// and link scheme only when no other program has the name (left alone with a
// log line otherwise); an extension's default only when it has none, in
// either view of the classes, so another program's default is never taken.
// An update carries what the installed version's record says is the
// product's.  ApplyShell then writes what the record lists and tells the
// shell and the running programs once; in an update every value is read into
// the journal before it is changed.
//
// UndoShell removes what `old` records and `keep` (the new version's record,
// in an update) no longer lists: a PATH entry the install added (only a
// folder inside the recorded program folder); a variable
// only while it still holds the value written (the earlier value put back);
// a class or scheme key only while its open command is still the one
// recorded; an extension's link, and its default only while it still names
// the product's class.  Every name is checked again (the record is
// untrusted): a ProgID with a dot, an extension or scheme a product may own.
#pragma once

#include "installengine/declaredplan.hpp"
#include "installengine/installhost.hpp"
#include "installengine/installrecord.hpp"
#include "installengine/updatejournal.hpp"

namespace installengine {

void RecordShell(InstallHost& host, const DeclaredPlan& plan, payload::InstallScope scope,
                 const InstallRecord* installed, InstallRecord& record);
// Raises setuputil::RegistryError when a value cannot be written.
// Writes what `plan` declares and `record` (RecordShell's) makes the product's.
void ApplyShell(InstallHost& host, const DeclaredPlan& plan, const InstallRecord& record, payload::InstallScope scope,
                UpdateJournal& journal);
// `journal` null: the uninstall's part.
void UndoShell(InstallHost& host, const InstallRecord& old, const InstallRecord* keep, payload::InstallScope scope,
               UpdateJournal* journal);

}  // namespace installengine
