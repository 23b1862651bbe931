// Text conversions the install and uninstall sequences rely on.
//
// Letter-hex stores a wide text in an 8-bit registry value: each UTF-16 code
// unit becomes four capital letters A..P, most significant nibble first, so
// the value survives any 8-bit code page unchanged.
#pragma once

#include <cstdint>
#include <string>

namespace setuputil {

std::string EncodeLetterHex(const std::u16string& text);
// A length that is not a multiple of 4 answers "".  Letters outside A..P are
// not rejected; they give whatever bits the formula yields (kept to 16 bits).
std::u16string DecodeLetterHex(const std::string& letters);

// Room of the destination of CopyToWideBuffer: 520 code units and a zero.
inline constexpr std::size_t kWideBufferUnits = 521;
void CopyToWideBuffer(char16_t (&destination)[kWideBufferUnits], const std::u16string& text);

// Removes leading blanks, trailing blanks, leading carriage returns and
// trailing carriage returns, in that order (and nothing else).
std::u16string TrimSpacesAndReturns(const std::u16string& text);

std::string Int64ToText(std::int64_t value);

// Substrings of 8-bit strings; positions are 1-based.
std::string CopyLeftA(const std::string& text, std::int64_t count);
std::string CopyFromA(const std::string& text, std::int64_t start);

}  // namespace setuputil
