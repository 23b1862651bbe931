// The UTF-8 codec the host tools and the POSIX code page share.
#include "setuputil/utf8.hpp"

#include <gtest/gtest.h>

using namespace setuputil;

TEST(Utf8, RoundTripsEveryPlaneAndRefusesMalformedInput) {
    const std::u16string text = u"a\u00e9\u4e2d\U0001F600";
    const std::string utf8 = Utf16ToUtf8(text);
    EXPECT_EQ(utf8, "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80");
    std::u16string back;
    ASSERT_TRUE(Utf8ToUtf16(utf8, back));
    EXPECT_EQ(back, text);
    EXPECT_EQ(Utf8ToUtf16Replacing(utf8), text);

    for (const std::string bad : {"\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE4\xB8", "\x80", "\xFF"})
        EXPECT_FALSE(Utf8ToUtf16(bad, back)) << bad.size();
}

TEST(Utf8, LoneSurrogatesAndBadBytesBecomeTheReplacementCharacter) {
    EXPECT_EQ(Utf16ToUtf8(std::u16string{u'x', char16_t(0xD800), u'y'}), "x\xEF\xBF\xBDy");
    EXPECT_EQ(Utf16ToUtf8(std::u16string{char16_t(0xDC00), char16_t(0xD800)}), "\xEF\xBF\xBD\xEF\xBF\xBD");
    // One replacement per byte that starts no well-formed sequence.
    EXPECT_EQ(Utf8ToUtf16Replacing("a\xE4\xB8z"), u"a\uFFFD\uFFFDz");
    EXPECT_EQ(Utf8ToUtf16Replacing("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");
}
