// Conversions between wide (UTF-16) text and the 8-bit code page.
//
// Paths and everything shown to the user are wide strings; registry names and
// values, service names and window titles are 8-bit strings.  Every conversion
// between the two goes through here.  On Windows the 8-bit code page is the
// system's active code page (CP_ACP) and a character it lacks becomes its
// replacement character; on POSIX hosts it is UTF-8.
#pragma once

#include <string>

namespace setuputil {

std::string WideToAnsi(const std::u16string& text);
std::u16string AnsiToWide(const std::string& text);

// Upper-cases by the platform's character tables (CharUpperBuffW on Windows).
std::u16string UpperCaseW(const std::u16string& text);

}  // namespace setuputil
