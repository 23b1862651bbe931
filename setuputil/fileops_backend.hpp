// What the portable file operations need from a platform backend.
#pragma once

#include <cstdint>
#include <string>

namespace setuputil::detail {

// 1-based position of the last path separator, 0 when there is none.
std::int64_t LastSeparatorPos(const std::u16string& path);
// True when the path holds * or ?: the platform's find calls would match it
// as a pattern, so it names no one file or folder.
inline bool HoldsPattern(const std::u16string& path) { return path.find_first_of(u"*?") != std::u16string::npos; }
// Creates one folder; false when its parent is missing or it is there.
bool CreateOneFolder(const std::u16string& path);

}  // namespace setuputil::detail
