// The product file: a TOML description of one installer (docs/product-file.md).
//
// LoadProductFile reads it, converts every text to the installer's
// encodings (8-bit texts to Windows-1252, wide texts to UTF-16), checks
// every limit with a message naming the field, and gathers the license
// text and the files of the product folder.  Paths in the file are relative
// to the file's own folder.
//
// What the installer will start must be among the gathered files, compared
// as Windows compares names: a missing `exename` or service program is an
// error naming it.  A shortcut target that is neither a gathered file nor a
// folder holding one is only a warning (the program may make it on its
// first run); warnings go to `warnings`, the build goes on.
#pragma once

#include "tools/sacwriter/sacwriter.hpp"
#include "tools/tallowin/stubstamp.hpp"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tallowin {

// `sourcedateepoch`: SOURCE_DATE_EPOCH when set.  It becomes the header's
// date and caps every file date; without it the header carries the newest
// file date, so the same inputs always give the same bytes.
bool LoadProductFile(const std::filesystem::path& file, std::optional<std::int64_t> sourcedateepoch,
                     sacwriter::InstallerInput& input, std::vector<std::string>& warnings, std::string& error);
// The same, also giving what the builder stamps into the stub: texts,
// the icon file and the wizard picture read and checked
// (`originalfilename` is left to the caller).
bool LoadProductFile(const std::filesystem::path& file, std::optional<std::int64_t> sourcedateepoch,
                     sacwriter::InstallerInput& input, StubIdentity& identity, std::vector<std::string>& warnings,
                     std::string& error);

// The trailer's 8-bit `productname` for the product name `name`: the name
// itself in Windows-1252 when the code page holds it (every byte as before
// names in any script), else an ASCII form that names it in the registry
// for good -- each character that is not printable ASCII, and each of
// `\ / ~`, becomes "_", then "~" and the CRC-32 of the name's UTF-8 in
// eight lower-case hex digits ("ヴァントレル" -> "______~" + 8 digits).
// The same name always gets the same form; two names differ in it unless
// their checksums and stand-ins meet.
std::string EightBitProductName(const std::u16string& name);

// The payload kind a `compression` text names: "per-file" (also "") the
// SAC archive, "solid" the solid payload.  False with `error` for another.
bool ParseCompression(const std::string& text, payload::PayloadKind& kind, std::string& error);

// A folder text of the product file ("Vendor/Product", "\Vendor\Product")
// as the installer stores it: "\Vendor\Product".  Refuses an empty text, a
// ".." part, a drive and names the installer could not create.
bool NormaliseFolder(const std::string& field, const std::u16string& text, bool leadingbackslash,
                     std::u16string& out, std::string& error);

}  // namespace tallowin
