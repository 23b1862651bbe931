// Wide-string primitives with 1-based positions; a search that finds nothing
// answers 0.  The path rules and the window-title matching are built on them.
#pragma once

#include <cstdint>
#include <string>

namespace setuputil {

std::u16string CopyLeftW(const std::u16string& text, std::int64_t count);
std::u16string CopyFromW(const std::u16string& text, std::int64_t start);
std::u16string CopyRangeW(const std::u16string& text, std::int64_t first, std::int64_t last);

// Exact, case-sensitive search; an empty pattern is never found.
std::int64_t PosW(const std::u16string& pattern, const std::u16string& text);
// Search from `start` on.  The tail is passed through the 8-bit code page
// first, so characters the code page lacks compare as its replacement.
std::int64_t PosFromW(const std::u16string& pattern, const std::u16string& text, std::int64_t start);
// Last occurrence; occurrences may overlap.
std::int64_t LastPosW(const std::u16string& pattern, const std::u16string& text);

}  // namespace setuputil
