// Opening a program or document the way the desktop shell does.
#pragma once

#include <string>

namespace setuputil {

// Starts the program, or opens the document with its associated program,
// asynchronously; whether that worked is not reported.
void ShellOpen(const std::string& path);

}  // namespace setuputil
