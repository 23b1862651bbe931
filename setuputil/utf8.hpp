// UTF-8 and UTF-16: the one codec of the system.  The POSIX backend's 8-bit
// code page is UTF-8 (setuputil/codepage.hpp), and the host tools read
// product files and write terminals and JSON in it.
//
// Malformed UTF-8 is a truncated or overlong sequence, a bad continuation
// byte, an encoded surrogate or a code point past U+10FFFF.  A lone UTF-16
// surrogate has no UTF-8 form: it is written as U+FFFD, the replacement
// character, the same character the lenient decoder gives for a bad byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace setuputil {

// The code point of the UTF-8 sequence at `i`, advancing `i` past it; -1 on
// a malformed sequence, with `i` unchanged.  `i` must be inside `text`.
std::int32_t DecodeUtf8(const std::string& text, std::size_t& i);
void AppendUtf8(std::string& out, std::uint32_t codepoint);

// Strict: false on malformed input (`out` is then incomplete).
bool Utf8ToUtf16(const std::string& text, std::u16string& out);
// Lenient: each byte that does not start a well-formed sequence becomes U+FFFD.
std::u16string Utf8ToUtf16Replacing(const std::string& text);
std::string Utf16ToUtf8(const std::u16string& text);

}  // namespace setuputil
