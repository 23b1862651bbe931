#include "setuputil/codepage.hpp"
#include "setuputil/namefold.hpp"
#include "setuputil/platform.hpp"
#include "setuputil/textconv.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

using namespace setuputil;

#ifdef _WIN32
#include <windows.h>
#endif

TEST(NameFold, FoldsAsTheSystemComparesNames) {
    EXPECT_TRUE(SameName(u"\u00c4.TXT", u"\u00e4.txt"));
    EXPECT_TRUE(SameName(u"\u0421\u0446 \u0141ukasz \u03a3", u"\u0441\u0426 \u0142UKASZ \u03c3"));
    EXPECT_FALSE(SameName(u"\u0131", u"I"));  // dotless i is a name of its own
    EXPECT_FALSE(SameName(u"stra\u00dfe", u"STRASSE"));  // one unit never becomes two
    EXPECT_FALSE(SameName(u"a", u"ab"));
#ifdef _WIN32
    // Against the system's own table, every code unit (under Wine: Wine's).
    using Upcase = wchar_t(WINAPI*)(wchar_t);
    const auto upcase = reinterpret_cast<Upcase>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlUpcaseUnicodeChar")));
    ASSERT_NE(upcase, nullptr);
    int differ = 0;
    for (unsigned unit = 0; unit < 0x10000; ++unit) {
        const char16_t system = static_cast<char16_t>(upcase(static_cast<wchar_t>(unit)));
        if (FoldNameUnit(static_cast<char16_t>(unit)) != system && differ++ < 20)
            ADD_FAILURE() << std::hex << "U+" << unit << ": ours " << unsigned(FoldNameUnit(static_cast<char16_t>(unit)))
                          << ", the system's " << unsigned(system);
    }
    EXPECT_EQ(differ, 0);
#endif
}

TEST(LetterHex, EncodesFourCapitalLettersPerUnitMostSignificantFirst) {
    EXPECT_EQ(EncodeLetterHex(u"AB"), "AAEBAAEC");
    EXPECT_EQ(EncodeLetterHex(u"\u00e9"), "AAOJ");
    EXPECT_EQ(EncodeLetterHex(u"\u4e2d"), "EOCN");
    EXPECT_EQ(EncodeLetterHex(u"\uffff"), "PPPP");
    EXPECT_EQ(EncodeLetterHex(u""), "");
}

TEST(LetterHex, RoundTripsEveryCodeUnit) {
    std::u16string all;
    for (unsigned c = 1; c <= 0xFFFF; c += 7) all.push_back(static_cast<char16_t>(c));
    all.push_back(u'\0');
    EXPECT_EQ(DecodeLetterHex(EncodeLetterHex(all)), all);
    EXPECT_EQ(DecodeLetterHex("AAEBAAEC"), u"AB");
}

TEST(LetterHex, DecodeRefusesLengthsNotAMultipleOfFour) {
    EXPECT_EQ(DecodeLetterHex("AAE"), u"");
    EXPECT_EQ(DecodeLetterHex("AAEBA"), u"");
    EXPECT_EQ(DecodeLetterHex(""), u"");
}

TEST(LetterHex, DecodeOfArbitraryBytesFollowsTheFormulaWithinSixteenBits) {
    // 'a' - 65 = 32: the group spills into the next nibble and is kept to 16 bits.
    const char bytes[] = {'a', 'A', 'A', 'A', '\0', '\xff', 'P', '0'};
    const std::u16string out = DecodeLetterHex(std::string(bytes, 8));
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0], static_cast<char16_t>((32u << 12) & 0xFFFF));
    const unsigned b0 = 0u - 65u, b1 = 0xFFu - 65u, b2 = 'P' - 65u, b3 = '0' - 65u;
    EXPECT_EQ(out[1], static_cast<char16_t>(((b0 << 12) | (b1 << 8) | (b2 << 4) | b3) & 0xFFFF));
}

TEST(CopyToWideBuffer, TruncatesAt520UnitsAndTerminates) {
    char16_t buffer[kWideBufferUnits];
    std::memset(buffer, 0x55, sizeof buffer);
    CopyToWideBuffer(buffer, std::u16string(600, u'x'));
    EXPECT_EQ(buffer[519], u'x');
    EXPECT_EQ(buffer[520], 0);
    CopyToWideBuffer(buffer, u"");
    EXPECT_EQ(buffer[0], 0);
    CopyToWideBuffer(buffer, u"abc");
    EXPECT_EQ(std::u16string(buffer), u"abc");
}

TEST(TrimSpacesAndReturns, TrimsBlanksThenReturnsInThatOrder) {
    EXPECT_EQ(TrimSpacesAndReturns(u"  word  "), u"word");
    EXPECT_EQ(TrimSpacesAndReturns(u"\r word \r"), u" word ");
    EXPECT_EQ(TrimSpacesAndReturns(u"    "), u"");
    EXPECT_EQ(TrimSpacesAndReturns(u"\tword\n"), u"\tword\n");
    EXPECT_EQ(TrimSpacesAndReturns(u""), u"");
}

TEST(Int64ToText, WritesPlainDecimal) {
    EXPECT_EQ(Int64ToText(0), "0");
    EXPECT_EQ(Int64ToText(-42), "-42");
    EXPECT_EQ(Int64ToText(1234567890123LL), "1234567890123");
    EXPECT_EQ(Int64ToText(LLONG_MIN), "-9223372036854775808");
    EXPECT_EQ(Int64ToText(LLONG_MAX), "9223372036854775807");
}

TEST(CopyAnsi, ClampsCountsAndStarts) {
    EXPECT_EQ(CopyLeftA("abcdef", 3), "abc");
    EXPECT_EQ(CopyLeftA("abc", 10), "abc");
    EXPECT_EQ(CopyLeftA("abc", 0), "");
    EXPECT_EQ(CopyLeftA("abc", -1), "");
    EXPECT_EQ(CopyFromA("abcdef", 3), "cdef");
    EXPECT_EQ(CopyFromA("abc", 0), "abc");
    EXPECT_EQ(CopyFromA("abc", 4), "");
}

TEST(CodePage, RoundTripsTextTheCodePageHolds) {
    EXPECT_EQ(AnsiToWide(WideToAnsi(u"Program Files")), u"Program Files");
    EXPECT_EQ(WideToAnsi(u""), "");
    EXPECT_EQ(AnsiToWide(""), u"");
}

TEST(UpperCase, UpperCasesAsciiAndLatinLetters) {
    EXPECT_EQ(UpperCaseW(u"abc xyz 09"), u"ABC XYZ 09");
    EXPECT_EQ(UpperCaseW(u"\u00e9t\u00e9"), u"\u00c9T\u00c9");
}

TEST(Platform, ParameterZeroIsThisProgramsFullPath) {
    EXPECT_TRUE(IsWin2000OrLater());
    const std::u16string self = GetParamW(0);
    ASSERT_FALSE(self.empty());
    EXPECT_NE(self.find(u"setuputil_tests"), std::u16string::npos);
    EXPECT_EQ(GetParamW(-3), self);
    EXPECT_EQ(GetParamW(5000), u"");
}
