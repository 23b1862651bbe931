// The product's language tables in the stub it builds from: the stub's own
// tables (RCDATA "TEXTS", payload/texttable.hpp), changed and added to by
// the vendor's ([texts.<code>] and languagefiles in the product file) and
// cut to the product file's `languages`.
#pragma once

#include "payload/texttable.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tallowin {

struct VendorTexts {
    // `languages`: the languages the installer carries; none given: every
    // one of the stub and the vendor.  English is always carried (the
    // fallback of every other).
    std::optional<std::vector<std::string>> languages;
    std::vector<payload::TextTable> tables;  // the vendor's, each text checked (CheckVendorTable)
};

// "" when every text of `table` (from `where`: "texts.de", a file) is one
// the wizard knows and uses exactly English's inserts; else the first fault,
// naming the language and the text.
std::string CheckVendorTable(const payload::TextTable& table, const std::string& where);

// The stub's packed tables (`stubpacked`, empty when it has none) with the
// vendor's applied, packed again into `packed`.  A vendor language the stub
// does not carry gets a warning for each text it lacks (English is shown in
// its place).  False with `error`: the stub's tables are damaged, or
// `languages` names one that nobody supplies.
// `carried`, when given, gets the tables as packed.
bool BuildTextsResource(const std::vector<std::uint8_t>& stubpacked, const VendorTexts& vendor,
                        std::vector<std::uint8_t>& packed, std::vector<std::string>& warnings, std::string& error,
                        std::vector<payload::TextTable>* carried = nullptr);

// "" when the uninstall shortcut's caption (UninstallShortcut) of each of
// `tables`, and the English one wherever a table lacks it, with
// `productname` inserted, gives a link file name Windows can create: one
// name of at most payload::kMaxNameUnits with its ".lnk", so that every
// path the install records stays within the record's bound
// (payload/pathbounds.hpp).  Else the first that does not, naming its
// language.
std::string CheckUninstallLinkNames(const std::vector<payload::TextTable>& tables, const std::u16string& productname);

}  // namespace tallowin
