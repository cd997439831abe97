#include <gtest/gtest.h>

#include "TextUtil.h"

namespace zav {
namespace {

TEST(FormatFileSize, UnitEdges) {
  EXPECT_EQ(FormatFileSize(0), "0B");
  EXPECT_EQ(FormatFileSize(1023), "1023B");
  EXPECT_EQ(FormatFileSize(1024), "1KB");
  EXPECT_EQ(FormatFileSize(2047), "1KB");  // truncated, not rounded
  EXPECT_EQ(FormatFileSize(1048575), "1023KB");
  EXPECT_EQ(FormatFileSize(1048576), "1.00M");
  EXPECT_EQ(FormatFileSize(1073741823), "1024.00M");
  EXPECT_EQ(FormatFileSize(1073741824), "1.00G");
  EXPECT_EQ(FormatFileSize(1610612736), "1.50G");
}

TEST(FormatFileSize, NegativeSizesAreShownAsBytes) {
  EXPECT_EQ(FormatFileSize(-1), "-1B");
  EXPECT_EQ(FormatFileSize(-5000000000), "-5000000000B");
}

TEST(FormatFileSize, LargeSizesStayInGigabytes) {
  EXPECT_EQ(FormatFileSize(int64_t{5} << 40), "5120.00G");
}

// These byte counts round differently in double precision (16.02M, 1.36G).
TEST(FormatFileSize, UsesSinglePrecision) {
  EXPECT_EQ(FormatFileSize(16792945), "16.01M");
  EXPECT_EQ(FormatFileSize(1465657539), "1.37G");
}

TEST(TextConversion, RoundTripsChineseAndAstralCharacters) {
  const std::u16string wide = u"新录音-20240101 😀.mp3";
  const std::string utf8 = "新录音-20240101 😀.mp3";
  EXPECT_EQ(ToUtf8(wide), utf8);
  EXPECT_EQ(ToNarrow(wide), utf8);
  EXPECT_EQ(ToWide(utf8), wide);
  EXPECT_EQ(ToWide(ToNarrow(wide)), wide);
}

TEST(TextConversion, StopsAtTheFirstZero) {
  EXPECT_EQ(ToUtf8(std::u16string_view(u"ab\0cd", 5)), "ab");
  EXPECT_EQ(ToWide(std::string_view("ab\0cd", 5)), u"ab");
}

TEST(TextConversion, BrokenInputBecomesReplacementCharacters) {
  EXPECT_EQ(ToUtf8(std::u16string{u'a', char16_t(0xD800), u'b'}), "a\uFFFDb");  // lone high
  EXPECT_EQ(ToUtf8(std::u16string{char16_t(0xDC00)}), "\uFFFD");                // lone low
  EXPECT_EQ(ToUtf8(std::u16string{u'x', char16_t(0xD83D)}), "x\uFFFD");         // cut pair
  EXPECT_EQ(ToWide("a\xFF" "b"), u"a\uFFFDb");
  EXPECT_EQ(ToWide("\xC0\xAF"), u"\uFFFD\uFFFD");      // overlong '/'
  EXPECT_EQ(ToWide("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
  EXPECT_EQ(ToWide("\xE6\x96"), u"\uFFFD\uFFFD");      // truncated at the end
}

TEST(TextConversion, Utf8Validation) {
  EXPECT_TRUE(IsValidUtf8("plain 新 😀"));
  EXPECT_TRUE(IsValidUtf8(""));
  EXPECT_FALSE(IsValidUtf8("\xFF"));
  EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
  EXPECT_FALSE(IsValidUtf8("abc\xE6"));
}

}  // namespace
}  // namespace zav
