// Text encodings the host tools meet: UTF-8 (product files, the terminal,
// JSON), UTF-16 (wide fields of the installer) and Windows-1252, the 8-bit
// code page the builder writes the trailer's 8-bit texts in.
//
// Conversions that cannot be exact answer false instead of guessing: bad
// UTF-8, unpaired surrogates, characters Windows-1252 lacks.
#pragma once

#include "setuputil/utf8.hpp"

#include <string>

namespace sacwriter {

// UTF-8 and UTF-16 through the system's one codec (unpaired surrogates come
// out as U+FFFD).
using setuputil::Utf16ToUtf8;
using setuputil::Utf8ToUtf16;

bool Utf8ToCp1252(const std::string& text, std::string& out);
// The five byte values Windows-1252 leaves undefined come out as U+FFFD.
std::string Cp1252ToUtf8(const std::string& text);

}  // namespace sacwriter
