// Case-insensitive wildcard match where "*" stands for any run of characters.
// Used to find a running copy of the product by its window title.
#pragma once

#include <string>

namespace setuputil {

bool MatchWildcard(const std::u16string& pattern, const std::u16string& text);

}  // namespace setuputil
