// A program file's version information, as Explorer's Properties show it.
#pragma once

#include <string>

namespace setuputil {

// The string `name` ("CompanyName", "ProductName", ...) of the first
// language in the version resource of `file`; "" when the file has no such
// resource or no such string.  Windows only.
std::u16string ReadVersionString(const std::u16string& file, const std::u16string& name);

// The file version of `file`'s version resource (its fixed part) as four
// dotted numbers, "14.38.33135.0"; "" when it has none.  Windows only.
std::u16string ReadFileVersion(const std::u16string& file);

}  // namespace setuputil
