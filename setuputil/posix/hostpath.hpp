// Host paths on POSIX: the wide path in UTF-8 with every backslash turned
// into '/', so the installer's Windows-style path rules work unchanged.
#pragma once

#include <string>

namespace setuputil {

std::string HostPath(const std::u16string& path);

}  // namespace setuputil
