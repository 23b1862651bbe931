// Names compared as Windows compares file, folder, service and key names:
// ordinally, each UTF-16 code unit upper-cased on its own by the system's
// one-to-one table (not the user's locale, not A-Z only).  "Ä.txt" and
// "ä.txt" are one file; "ß" stays "ß"; "ı" and "I" are two names.
//
// The table is generated from Unicode's simple upper-case mappings
// (scripts/gen-upcase-table.py); the Wine tests hold it against the
// system's own for every code unit.  Portable: the host tools fold with
// the same table, so the builder refuses what the installer would find to
// be one name.
#pragma once

#include <string>

namespace setuputil {

// The code unit as the system upper-cases it for a comparison of names.
char16_t FoldNameUnit(char16_t unit);
// Every code unit of `name` folded.
std::u16string FoldName(const std::u16string& name);
// True when the two names are one name to the system.
bool SameName(const std::u16string& a, const std::u16string& b);

}  // namespace setuputil
