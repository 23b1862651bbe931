// Platform generation and the program's command line.
#pragma once

#include <cstdint>
#include <string>

namespace setuputil {

// True on platform major version 5 and later, where the wide-character system
// calls exist.  Asked of the platform on every call; POSIX hosts answer true.
bool IsWin2000OrLater();

// Command-line parameter `index` as a wide string.  Index 0 (or less) is the
// full path of the running program; a missing argument answers "".
std::u16string GetParamW(std::int32_t index);
// The number of parameters, the program's own path (index 0) included.
std::int32_t ParamCount();

}  // namespace setuputil
