#include "text/codepage.h"

#include <gtest/gtest.h>

#include "support/literals.h"

namespace ravelkin {
namespace {

TEST(ConvertCharset, RoundTripsEveryGbkCharacterAndMore) {
  EXPECT_EQ(utf8ToText("\xE4\xB8\xAD\xE6\x96\x87"), "\xD6\xD0\xCE\xC4");  // 中文
  EXPECT_EQ(textToUtf8("\xD6\xD0\xCE\xC4"), "\xE4\xB8\xAD\xE6\x96\x87");
  // Characters GBK lacks survive as four-byte GB18030 sequences, never as '?'.
  for (const std::string utf8 : {"\xF0\x9F\x98\x80", "\xE2\x82\xAC", "\xC3\xA9", "\xEA\xB0\x80"}) {
    const Text t = utf8ToText(utf8);
    EXPECT_NE(t, "?");
    EXPECT_EQ(textToUtf8(t), utf8);
  }
}

TEST(ConvertCharset, BadInputBecomesQuestionMarksAndGoesOn) {
  EXPECT_EQ(utf8ToText("a\xFF"
                       "b\xC3"),
            "a?b?");  // stray byte, cut-off sequence at the end
  EXPECT_EQ(textToUtf8("a\xFF"
                       "b"),
            "a?b");
  EXPECT_EQ(textToUtf8("\x80"), "\xE2\x82\xAC");  // 0x80 reads as the euro sign
  EXPECT_EQ(textToUtf8("a\xFF", "\xEF\xBF\xBD"), "a\xEF\xBF\xBD");
  EXPECT_EQ(convertCharset("abc", "NO-SUCH-CHARSET", "UTF-8"), "");
  EXPECT_EQ(convertCharset("", "UTF-8", "GB18030"), "");
}

TEST(Validity, Utf8AndGb18030) {
  struct Case {
    std::string bytes;
    bool utf8;
  } cases[] = {
      {"", true},
      {"plain", true},
      {"\xE4\xB8\xAD", true},
      {"\xF0\x9F\x98\x80", true},
      {"\xE4\xB8", false},          // cut off
      {"\xC0\xAF", false},          // overlong
      {"\xED\xA0\x80", false},      // surrogate
      {"\xF4\x90\x80\x80", false},  // past U+10FFFF
      {"\xD6\xD0\xCE\xC4", false},  // GBK 中文
  };
  for (const Case& c : cases) EXPECT_EQ(isValidUtf8(c.bytes), c.utf8) << c.bytes;
  EXPECT_TRUE(isValidGb18030("\xD6\xD0\xCE\xC4"));
  EXPECT_FALSE(isValidGb18030("\xD6"));
  EXPECT_FALSE(isValidGb18030("a\xFF"));
  EXPECT_TRUE(isKnownCharset("big5"));
  EXPECT_FALSE(isKnownCharset("no-such-charset"));
}

}  // namespace
}  // namespace ravelkin
