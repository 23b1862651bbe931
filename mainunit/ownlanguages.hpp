// Where the wizard's languages come from on this machine: the tables this
// program carries (RCDATA "TEXTS", payload/texttable.hpp) and the user's
// own UI language.
#pragma once

#include "payload/texttable.hpp"

#include <string>
#include <vector>

namespace mainunit {

// The tables in this program's resource; none when there is no resource or
// it does not expand (English only, then).
std::vector<payload::TextTable> OwnTextTables();

// The user's default UI language as a code: "de-DE", "pt-PT", "ja-JP".
std::string UserLanguageCode();

}  // namespace mainunit
