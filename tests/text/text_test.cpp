#include "text/text.h"

#include <gtest/gtest.h>

#include <climits>

#include "support/literals.h"

namespace ravelkin {
namespace {

using test::bytes;
using test::gbk;

// 0x81 0x41 is one double-byte character whose second byte reads as 'A'.
const Text kTrapA = "\x81\x41";

TEST(FindText, PositionsAndEdges) {
  struct Case {
    Text text, needle;
    std::optional<int> start;
    bool ignoreCase;
    int want;
  } cases[] = {
      {"abc", "", {}, false, 1},
      {"", "", {}, false, -1},
      {"abc", "", 5, false, -1},
      {"abc", "a", 0, false, 1},
      {"abc", "a", -7, false, 1},
      {"abc", "c", 3, false, 3},
      {"abc", "c", 4, false, -1},
      {"abc", "bcd", {}, false, -1},
      {kTrapA + "A", "A", {}, false, 3},
      {kTrapA + "a", "A", {}, true, 3},
      {"xABC", "b", {}, true, 3},
      {"xABC", "b", {}, false, -1},
      {gbk("第一章"), gbk("一"), {}, false, 3},
      // A lead byte at the very end ends the scan, even for a one-byte needle equal to it.
      {"a\x81", "\x81", {}, false, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(findText(c.text, c.needle, c.start, c.ignoreCase), c.want)
        << "'" << c.text << "' / '" << c.needle << "'";
  }
}

TEST(FindTextReverse, PositionsAndEdges) {
  EXPECT_EQ(findTextReverse("a.b.c", "."), 4);
  EXPECT_EQ(findTextReverse("a.b.c", ".", 4), 2);
  EXPECT_EQ(findTextReverse("a.b.c", ".", 1), -1);
  EXPECT_EQ(findTextReverse("a.b.c", ".", 0), -1);
  EXPECT_EQ(findTextReverse("a.b.c", "b.c", 6), 3);
  EXPECT_EQ(findTextReverse("a.b.c", "b.c", 5), -1);  // must end before position 5
  EXPECT_EQ(findTextReverse("abc", ""), 1);
  EXPECT_EQ(findTextReverse("", ""), -1);
  EXPECT_EQ(findTextReverse(kTrapA + "A" + kTrapA, "A"), 3);
  EXPECT_EQ(findTextReverse("xAbA", "a", {}, true), 4);
}

TEST(ByteCuts, CountBytes) {
  EXPECT_EQ(textMid("abcdef", 3, 10), "cdef");
  EXPECT_EQ(textMid("abc", 4, 1), "");
  EXPECT_EQ(textMid("abc", 0, 2), "");
  EXPECT_EQ(textMid("abc", 1, 0), "");
  EXPECT_EQ(textLeft("abc", 5), "abc");
  EXPECT_EQ(textLeft("abc", -1), "");
  EXPECT_EQ(textRight("abc", 2), "bc");
  EXPECT_EQ(textRight("abc", 0), "");
  EXPECT_EQ(textLeft(gbk("第"), 1), "\xB5");  // may split a character
  EXPECT_EQ(bytesLeft(bytes("a\0b"), 2), bytes("a\0"));
  EXPECT_EQ(bytesLength(bytes("a\0b")), 3);
}

TEST(ReplaceText, StartCountCaseAndCharacters) {
  struct Case {
    Text text, needle, replacement;
    std::optional<int> start, count;
    bool caseSensitive;
    Text want;
  } cases[] = {
      {"aXbXc", "X", "", {}, {}, true, "abc"},
      {"aXbXc", "X", "", {}, 1, true, "abXc"},
      {"aXbXc", "X", "", 3, {}, true, "aXbc"},
      {"aXbXc", "X", "", -4, {}, true, "abc"},
      {"aXbXc", "X", "", 6, {}, true, "aXbXc"},
      {"aXbXc", "X", "", {}, 0, true, "aXbXc"},
      {"aXbXc", "", "y", {}, {}, true, "aXbXc"},
      {"", "X", "y", {}, {}, true, ""},
      {"set-cookie: a", "Set-Cookie", "Set-Cookie", {}, {}, false, "Set-Cookie: a"},
      {"aaa", "a", "aa", {}, {}, true, "aaaaaa"},  // replacements are never rescanned
      {"aaaa", "aa", "b", {}, {}, true, "bb"},
      {kTrapA + "A", "A", "B", {}, {}, true, kTrapA + "B"},
      // A lone lead byte at the end is copied through.
      {"AxA\x81", "A", "-", {}, {}, true, "-x-\x81"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(replaceText(c.text, c.needle, c.replacement, c.start, c.count, c.caseSensitive),
              c.want)
        << c.text;
  }
}

TEST(SplitText, Pieces) {
  using V = std::vector<Text>;
  EXPECT_EQ(splitText("a;;b;", ";"), (V{"a", "", "b"}));
  EXPECT_EQ(splitText(";a", ";"), (V{"", "a"}));
  EXPECT_EQ(splitText(";", ";"), (V{""}));
  EXPECT_EQ(splitText("", ";"), V{});
  EXPECT_EQ(splitText("abc", ";"), (V{"abc"}));
  EXPECT_EQ(splitText("abc", ""), (V{"abc"}));
  EXPECT_EQ(splitText("a\r\n\r\nb", "\r\n"), (V{"a", "", "b"}));
  // ';' is never a second byte, but 'A' is: 0x81 0x41 must not split.
  EXPECT_EQ(splitText("x" + kTrapA + "y", "A"), (V{"x" + kTrapA + "y"}));
}

TEST(Spaces, TrimAndRemove) {
  const Text wide = "\xA1\xA1";
  EXPECT_EQ(trimText(" " + wide + "a b "), "a b");
  EXPECT_EQ(trimText("\tab "), "\tab");
  EXPECT_EQ(trimText(wide + " " + wide), "");
  EXPECT_EQ(trimText(""), "");
  EXPECT_EQ(trimText(" a\x81"), "a\x81");
  EXPECT_EQ(removeAllSpaces(" a" + wide + "b \r\n"), "ab\r\n");
  EXPECT_EQ(removeAllSpaces("a \x81"), "a\x81");
  // 0xA1 0xA1 only counts where a character starts: here 0xB0 0xA1 is one character.
  EXPECT_EQ(removeAllSpaces("\xB0\xA1\xA1\xA1"), "\xB0\xA1");
}

TEST(CaseMapping, AsciiOnly) {
  EXPECT_EQ(toLower("AbC" + kTrapA + "Z"), "abc" + kTrapA + "z");
  EXPECT_EQ(toUpper("abc\x81\x61z"), "ABC\x81\x61Z");
  const Text fullWidthA = gbk("Ａ");
  EXPECT_EQ(toLower(fullWidthA), fullWidthA);
}

TEST(Conversions, NumbersAndBytes) {
  EXPECT_EQ(numberToText(3.0), "3");
  EXPECT_EQ(numberToText(-12), "-12");
  EXPECT_EQ(numberToText(0.1), "0.1");
  EXPECT_EQ(numberToText(1234567890123456.0), "1.234567890123e+15");
  EXPECT_EQ(toHexText(10), "A");
  EXPECT_EQ(toHexText(255), "FF");
  EXPECT_EQ(toHexText(0), "0");
  EXPECT_EQ(toHexText(-1), "FFFFFFFF");
  EXPECT_EQ(charFromCode(0x41), "A");
  EXPECT_EQ(charFromCode(0), "");
  EXPECT_EQ(charFromCode(0x1E4), "\xE4");
  EXPECT_EQ(bytesToText(bytes("ab\0cd")), "ab");
  EXPECT_EQ(bytesToText(bytes("abcd")), "abcd");
  EXPECT_EQ(textToBytes(""), Bytes());
  EXPECT_EQ(blankText(3), "   ");
  EXPECT_EQ(blankText(0), "");
  EXPECT_EQ(blankBytes(2), bytes("\0\0"));
  EXPECT_EQ(blankBytes(-1), Bytes());
}

TEST(Conversions, ToInteger) {
  struct Case {
    Text text;
    int want;
  } cases[] = {
      {"42", 42},
      {"  -17abc", -17},
      {"+8", 8},
      {"abc", 0},
      {"", 0},
      {gbk("１２３"), 123},      // full-width digits
      {gbk("　－５"), -5},       // full-width space and minus
      {"99999999999", INT_MAX},  // saturates
      {"-2147483648", INT_MIN},
  };
  for (const Case& c : cases) EXPECT_EQ(toInteger(c.text), c.want) << c.text;
}

TEST(TextBetween, Markers) {
  EXPECT_EQ(textBetween("x<p>body</p>y", "<p>", "</p>"), "body");
  EXPECT_EQ(textBetween("x</p>body<p>y", "<p>", "</p>"), "");
  EXPECT_EQ(textBetween("x<p>body</p>y", "", "</p>"), "x<p>body");
  EXPECT_EQ(textBetween("x<p>body</p>y", "<p>", ""), "");
  EXPECT_EQ(textBetween("x<p>body</p>y", "<P>", "</p>"), "");
  EXPECT_EQ(textBetween("x<p>body</p>y", "<P>", "</P>", {}, true), "body");
  EXPECT_EQ(textBetween("x<p>", "<p>", "</p>"), "");
  EXPECT_EQ(textBetween("<p></p>", "<p>", "</p>"), "");
  EXPECT_EQ(textBetween("<p>a</p><p>b</p>", "<p>", "</p>", 4), "b");
  EXPECT_EQ(textBetween("<div id=\"c\">text</div>", gbk("id=#引号c#引号>"), "</div>"), "text");
  // findBetween tells a missing marker from an empty cut.
  EXPECT_EQ(findBetween("<p></p>", "<p>", "</p>"), Text());
  EXPECT_EQ(findBetween("<p>", "<p>", "</p>"), std::nullopt);
  EXPECT_EQ(findBetween("x</p>", "<p>", "</p>"), std::nullopt);
  EXPECT_EQ(findBetween("<p>abc", "<p>", ""), Text());
}

}  // namespace
}  // namespace ravelkin
