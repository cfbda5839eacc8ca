#include "text/cleanup.h"

#include <gtest/gtest.h>

#include "support/literals.h"

namespace ravelkin {
namespace {

using test::gbk;

TEST(StripHtml, DeletesBlocksTagsAndEntities) {
  struct Case {
    Text in, want;
  } cases[] = {
      {"<p>A</p>\r\n<script>x=1;\r\n</script>B&nbsp;C", "A\r\nBC"},
      {"a<SCRIPT>x</SCRIPT>b<Style>y</Style>c", "abc"},
      {"<script>x=1;</scrip>tail", "x=1;tail"},  // unclosed: deleted as a tag only
      {"a&123456789;b", "a&123456789;b"},        // nine characters: no entity
      {"a & b; c", "a  c"},
      {"a < b", "a < b"},
      {"<>", "<>"},
      {"x&lt;yyyyyy&amp;z", "xyyyyyyz"},
      {"a&lt;b&amp;c", "ac"},  // greedy: "&lt;b&amp;" is one entity of eight characters
      {"line<br>next<br/>\nend", "linenext\nend"},
      {"<div\nclass=x>t</div>", "t"},  // a tag may span lines
      {"&a\nb;", "&a\nb;"},            // an entity may not
      {"", ""},
      {gbk("<p>第一章&nbsp;　正文</p>"), gbk("第一章　正文")},
      {gbk("中&一二三四五;文"), gbk("中文")},  // five characters (ten bytes) still an entity
  };
  for (const Case& c : cases) EXPECT_EQ(stripHtml(c.in), c.want) << c.in;
}

TEST(StripHtml, CountsCharactersAndKeepsEveryOtherByte) {
  const Text emoji = gbk("😀");  // one character, four bytes in GB18030
  ASSERT_EQ(emoji.size(), 4u);
  std::string eight, nine;
  for (int i = 0; i < 8; ++i) eight += emoji;
  nine = eight + emoji;
  EXPECT_EQ(stripHtml("a&" + eight + ";b"), "ab");
  EXPECT_EQ(stripHtml("a&" + nine + ";b"), "a&" + nine + ";b");
  // Bytes that are no character stay exactly as they were, and so does the euro byte.
  EXPECT_EQ(stripHtml("a\xFF<b>\x80"
                      "c\x81"),
            "a\xFF\x80"
            "c\x81");
}

TEST(StripHtml, ScriptBeforeTagAlternative) {
  // At one position the script block wins over the plain tag, contents and all.
  EXPECT_EQ(stripHtml("<script type=\"t\">if (a > b) x();</script>ok"), "ok");
}

TEST(KeepNonAscii, KeepsControlsAndDoubleByteCharacters) {
  EXPECT_EQ(keepNonAscii("/book/12.html"), "");
  EXPECT_EQ(keepNonAscii(gbk("第12章 风")), gbk("第章风"));
  EXPECT_EQ(keepNonAscii("a\tb"), "\t");
  EXPECT_EQ(keepNonAscii("a\tb", true), "");
  EXPECT_EQ(keepNonAscii("\x7F\r\n" + gbk("中"), true), gbk("中"));
  EXPECT_EQ(keepNonAscii(""), "");
}

}  // namespace
}  // namespace ravelkin
