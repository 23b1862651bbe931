#include "setuputil/pathrules.hpp"
#include "setuputil/widestr.hpp"
#include "setuputil/wildcard.hpp"

#include <gtest/gtest.h>

using namespace setuputil;

TEST(Backslash, AddsAndRemovesExactlyOne) {
    EXPECT_EQ(AddBackslash(u"C:\\Temp"), u"C:\\Temp\\");
    EXPECT_EQ(AddBackslash(u"C:\\Temp\\"), u"C:\\Temp\\");
    EXPECT_EQ(AddBackslash(u""), u"");
    EXPECT_EQ(RemoveBackslash(u"C:\\Temp\\\\"), u"C:\\Temp\\");
    EXPECT_EQ(RemoveBackslash(u"C:\\Temp"), u"C:\\Temp");
    EXPECT_EQ(RemoveBackslash(u""), u"");
    EXPECT_EQ(RemoveBackslash(u"\\"), u"");
    EXPECT_EQ(ParentFolder(u"C:\\Apps\\Vantrell\\"), u"C:\\Apps");
    EXPECT_EQ(ParentFolder(u"C:\\Apps\\a.lnk"), u"C:\\Apps");
    EXPECT_EQ(ParentFolder(u"C:"), u"");
}

TEST(StripBadNameChars, DropsTheNineCharactersAndKeepsTheRest) {
    EXPECT_EQ(StripBadNameChars(u"Vantrell: Tools/Extras 2.0"), u"Vantrell ToolsExtras 2.0");
    EXPECT_EQ(StripBadNameChars(u"\\/:*?\"<>|"), u"");
    EXPECT_EQ(StripBadNameChars(u"  a.b  "), u"  a.b  ");
    // A name in any script keeps its script.
    EXPECT_EQ(StripBadNameChars(u"\u30f4\u30a1\u30f3: \u041a\u0430/\U0001F600"), u"\u30f4\u30a1\u30f3 \u041a\u0430\U0001F600");
}

TEST(IsAbsoluteWindowsPath, OnlyDriveLetterAndUncPaths) {
    for (const char16_t* path : {u"C:\\", u"C:\\Program Files\\Vantrell", u"d:\\x", u"Z:/x", u"\\\\server\\share",
                                 u"\\\\server\\share\\Vantrell", u"//server/share/x", u"\\\\srv.example\\c$\\x"})
        EXPECT_TRUE(IsAbsoluteWindowsPath(path));
    for (const char16_t* path : {u"", u"Vantrell", u"\\Vantrell", u"/Vantrell", u"D:Vantrell", u"D:", u"1:\\x",
                                 u"..\\x", u".\\x", u"\\\\", u"\\\\server", u"\\\\server\\", u"\\\\\\share",
                                 u"\\\\?\\C:\\x", u"\\\\.\\COM1", u"CC:\\x", u" C:\\x"})
        EXPECT_FALSE(IsAbsoluteWindowsPath(path));
}

TEST(IsDeviceName, KnowsTheReservedNamesAsWholeNamesAndLastComponents) {
    for (const char* yes : {"aux", "com3", "COM1", "lpt1", "C:\\dir\\lpt9", "x\\COM1", "\\AUX", "c:\\aux"})
        EXPECT_TRUE(IsDeviceName(yes)) << yes;
    for (const char* no : {"CON", "PRN", "NUL", "COM5", "COM0", "LPT0", "C:\\COM3.TXT", "AUX.TXT", "ab", "a", "",
                           "xCOM1", "C:\\dir\\com5"})
        EXPECT_FALSE(IsDeviceName(no)) << no;
}

TEST(WideCopy, ClampsLikeTheAnsiForms) {
    EXPECT_EQ(CopyLeftW(u"abcdef", 2), u"ab");
    EXPECT_EQ(CopyLeftW(u"abc", 0), u"");
    EXPECT_EQ(CopyFromW(u"abcdef", 5), u"ef");
    EXPECT_EQ(CopyFromW(u"abc", -2), u"abc");
    EXPECT_EQ(CopyFromW(u"abc", 9), u"");
    EXPECT_EQ(CopyRangeW(u"abcdef", 2, 4), u"bcd");
    EXPECT_EQ(CopyRangeW(u"abcdef", 4, 2), u"");
    EXPECT_EQ(CopyRangeW(u"abcdef", 5, 99), u"ef");
}

TEST(WideSearch, AnswersOneBasedPositionsAndZeroForNone) {
    EXPECT_EQ(PosW(u"", u"abc"), 0);
    EXPECT_EQ(PosW(u"b", u"abcb"), 2);
    EXPECT_EQ(PosW(u"B", u"abc"), 0);
    EXPECT_EQ(PosW(u"abcd", u"abc"), 0);
    EXPECT_EQ(PosFromW(u"b", u"abcb", 3), 4);
    EXPECT_EQ(PosFromW(u"b", u"abcb", 5), 0);
    EXPECT_EQ(LastPosW(u"\\", u"C:\\a\\b"), 5);
    EXPECT_EQ(LastPosW(u"\\", u"abc"), 0);
    EXPECT_EQ(LastPosW(u"aa", u"aaaa"), 3);  // overlapping occurrences
}

TEST(MatchWildcard, MatchesProductWindowTitlesIgnoringCase) {
    EXPECT_TRUE(MatchWildcard(u"vantrell (*", u"VANTRELL (untitled)"));
    EXPECT_TRUE(MatchWildcard(u"vantrell (*", u"Vantrell ("));
    EXPECT_FALSE(MatchWildcard(u"vantrell (*", u"Vantrell"));
    EXPECT_FALSE(MatchWildcard(u"vantrell (*", u"Editor - Vantrell (x)"));
}

TEST(MatchWildcard, HandlesPatternsWithoutOrWithOnlyStars) {
    EXPECT_TRUE(MatchWildcard(u"abc", u"ABC"));
    EXPECT_FALSE(MatchWildcard(u"abc", u"abcd"));
    EXPECT_FALSE(MatchWildcard(u"*", u""));
    EXPECT_TRUE(MatchWildcard(u"*", u"x"));
    EXPECT_TRUE(MatchWildcard(u"**", u"x"));
    EXPECT_TRUE(MatchWildcard(u"", u""));
}

TEST(MatchWildcard, HeadTailAndMiddleSegments) {
    EXPECT_TRUE(MatchWildcard(u"head*", u"headline"));
    EXPECT_FALSE(MatchWildcard(u"head*", u"ahead"));
    EXPECT_TRUE(MatchWildcard(u"*.exe", u"setup.EXE"));
    EXPECT_FALSE(MatchWildcard(u"*.exe", u"setup.exe.txt"));
    EXPECT_TRUE(MatchWildcard(u"a*b*c", u"axxbyyc"));
    EXPECT_FALSE(MatchWildcard(u"a*b*c", u"axxcyyb"));
    EXPECT_TRUE(MatchWildcard(u"*mid*", u"in the middle"));
    EXPECT_FALSE(MatchWildcard(u"*mid*", u"nothing here"));
}
