// A program file's version information, as Explorer's Properties show it.
#pragma once

#include <string>

namespace setuputil {

// The string `name` ("CompanyName", "ProductName", ...) of the first
// language in the version resource of `file`; "" when the file has no such
// resource or no such string.  Windows only.
std::u16string ReadVersionString(const std::u16string& file, const std::u16string& name);

}  // namespace setuputil
