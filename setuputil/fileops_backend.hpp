// What the portable file operations need from a platform backend.
#pragma once

#include <cstdint>
#include <string>

namespace setuputil::detail {

// 1-based position of the last path separator, 0 when there is none.
std::int64_t LastSeparatorPos(const std::u16string& path);
// Creates one folder whose parent exists.
bool CreateOneFolder(const std::u16string& path);

}  // namespace setuputil::detail
