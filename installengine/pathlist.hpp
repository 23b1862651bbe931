// A PATH value's entries, edited without touching the others: the value is
// taken whole (never through a fixed buffer), an entry is added at the end
// after a ";", and removing one takes exactly that entry and one separator,
// so every other byte of the user's value stays as it was.  Entries compare
// as the system compares folder names (letter case aside, a trailing
// backslash ignored, surrounding quotes ignored).
#pragma once

#include <cstddef>
#include <string>

namespace installengine {

// The longest PATH a process can be given: the system's limit of one
// environment variable, less its ending zero.
inline constexpr std::size_t kMaxPathValue = 32766;

bool PathListHas(const std::u16string& list, const std::u16string& entry);
// `list` with `entry` at its end.
std::u16string PathListAppend(const std::u16string& list, const std::u16string& entry);
// Removes the last entry equal to `entry`; false when there is none.
bool PathListRemove(std::u16string& list, const std::u16string& entry);

}  // namespace installengine
