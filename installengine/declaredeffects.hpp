// The product's declared registry values and its sign-in Run value
// (declaredplan.hpp) carried out, recorded, and undone.
//
// RecordDeclared fills the install record before anything is written: each
// value, the keys that are missing now (so the install creates them; an
// update carries the keys the installed version created that are still
// used), the Run value and its command.  ApplyDeclared writes them after the
// registration; in an update it first reads each value it changes into the
// journal and removes what the installed version's record lists that this
// version no longer declares (the Run value only while it holds the command
// recorded).  UndoDeclared is the uninstall's part: the recorded values, the
// Run value while it still holds the recorded command, then the recorded
// keys while they are empty.  Only entries under the scope's own root and in
// a vendor's key (payload::IsVendorKey) are ever acted on: the record is
// untrusted.
#pragma once

#include "installengine/declaredplan.hpp"
#include "installengine/installhost.hpp"
#include "installengine/installrecord.hpp"
#include "installengine/updatejournal.hpp"

namespace installengine {

void RecordDeclared(const DeclaredPlan& plan, payload::InstallScope scope, const InstallRecord* installed,
                    InstallRecord& record);
// Raises setuputil::RegistryError when a value cannot be written.
void ApplyDeclared(InstallHost& host, const DeclaredPlan& plan, payload::InstallScope scope,
                   const InstallRecord* installed, UpdateJournal& journal);
void UndoDeclared(InstallHost& host, const InstallRecord& record, payload::InstallScope scope);

}  // namespace installengine
