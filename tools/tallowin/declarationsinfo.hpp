// How `tallowin info` shows what a product declares beyond its files
// (payload/declarations.hpp): one line a declaration for a person, and
// the "declarations" object of the JSON form (docs/tallowin.md).  `root` is
// "HKLM" or "HKCU", as the installer's scope has it.
#pragma once

#include "payload/declarations.hpp"

#include <ostream>
#include <string>

namespace tallowin {

void PrintDeclarations(std::ostream& out, const payload::Declarations& d, const std::string& root);
void PrintDeclarationsJson(std::ostream& out, const payload::Declarations& d, const std::string& root);

}  // namespace tallowin
