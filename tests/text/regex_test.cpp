#include "text/regex.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "support/literals.h"

namespace ravelkin {
namespace {

using test::gbk;

TEST(RegexSession, CaseMultilineAndGlobalDefaults) {
  RegexSession re;
  EXPECT_TRUE(re.execute("abc", "xABCx"));
  EXPECT_EQ(re.matchCount(), 1);
  EXPECT_EQ(re.matchText(1), "ABC");
  EXPECT_TRUE(re.execute("abc", "xABCx", true));
  EXPECT_EQ(re.matchCount(), 0);
  EXPECT_TRUE(re.execute("^b$", "a\nb\nc"));
  EXPECT_EQ(re.matchCount(), 1);
  EXPECT_TRUE(re.execute("^b$", "a\nb\nc", false, false));
  EXPECT_EQ(re.matchCount(), 0);
  EXPECT_TRUE(re.execute("a", "aaa", false, true, false));
  EXPECT_EQ(re.matchCount(), 1);
  EXPECT_TRUE(re.execute("a.c", "a\nc"));
  EXPECT_EQ(re.matchCount(), 0);
  EXPECT_TRUE(re.execute("a.c", "a\rc"));
  EXPECT_EQ(re.matchCount(), 1);
}

TEST(RegexSession, GroupsAndOutOfRange) {
  RegexSession re;
  re.execute(R"(<a href="(\d+)\.html">(\w+)</a>)",
             R"(<a href="1.html">one</a><a href="2.html">two</a><a href="3.html">three</a>)");
  ASSERT_EQ(re.matchCount(), 3);
  EXPECT_EQ(re.groupCount(), 2);
  EXPECT_EQ(re.groupText(3, 2), "three");
  EXPECT_EQ(re.groupText(2, 1), "2");
  EXPECT_EQ(re.groupText(4, 1), "");
  EXPECT_EQ(re.groupText(1, 3), "");
  EXPECT_EQ(re.groupText(1, 0), "");
  EXPECT_EQ(re.matchText(0), "");
  EXPECT_EQ(re.matchText(4), "");

  re.execute("(a)|(b)", "b");
  EXPECT_EQ(re.groupText(1, 1), "");
  EXPECT_EQ(re.groupText(1, 2), "b");

  re.execute("(x)", "abc");
  EXPECT_EQ(re.groupCount(), 0);  // no first match
}

TEST(RegexSession, EngineSeesCharactersNotBytes) {
  RegexSession re;
  re.execute(R"([^\x20-\x7f])", "a" + gbk("中") + "b");
  ASSERT_EQ(re.matchCount(), 1);
  EXPECT_EQ(re.matchText(1), gbk("中"));

  // 0x81 0x41 is one character: 'A' in the pattern must not match its second byte.
  re.execute("A", "\x81\x41");
  EXPECT_EQ(re.matchCount(), 0);

  re.execute("^.{2}$", gbk("第一"));
  EXPECT_EQ(re.matchCount(), 1);

  const Text catalogue =
      gbk("<li><a href=\"/b/1.html\">第一章 开始</a></li>"
          "<li><a href=\"/b/2.html\">第二章 远行</a></li>");
  re.execute(R"re(<a href="([^"]+)">([^<]+)</a>)re", catalogue);
  ASSERT_EQ(re.matchCount(), 2);
  EXPECT_EQ(re.groupText(2, 2), gbk("第二章 远行"));
  EXPECT_EQ(re.groupText(2, 1), "/b/2.html");
}

TEST(RegexSession, InvalidPatternFailsQuietlyWithReason) {
  RegexSession re;
  EXPECT_FALSE(re.execute("(", "abc"));
  EXPECT_EQ(re.matchCount(), 0);
  EXPECT_EQ(re.matchText(1), "");
  EXPECT_EQ(re.replaceMatches(), "");
  EXPECT_EQ(re.groupCount(), 0);
  EXPECT_FALSE(re.error().message.empty());
  EXPECT_EQ(re.error().offset, 1);
  EXPECT_NE(re.errorText().find("offset 1"), std::string::npos);
  // The session keeps working after a failure.
  EXPECT_TRUE(re.execute("b", "abc"));
  EXPECT_EQ(re.matchCount(), 1);
  EXPECT_TRUE(re.errorText().empty());
}

TEST(RegexSession, ReplaceAndEmptyMatches) {
  RegexSession re;
  re.execute("x", "abc");
  EXPECT_EQ(re.replaceMatches(), "abc");
  re.execute("b", "abcb");
  EXPECT_EQ(re.replaceMatches(gbk("中")), "a" + gbk("中") + "c" + gbk("中"));
  // After an empty match the search moves one character on (never splitting a character).
  re.execute("x*", "a" + gbk("中"));
  EXPECT_EQ(re.matchCount(), 3);
  EXPECT_EQ(re.replaceMatches("-"), "-a-" + gbk("中") + "-");
  re.execute("$", "a\nb");
  EXPECT_EQ(re.matchCount(), 2);
}

TEST(RegexSession, PatternTextAndQuoteEscape) {
  RegexSession re;
  EXPECT_EQ(re.patternText(), "");
  const Text pattern = gbk("id=#引号c#引号");
  re.execute(pattern, "id=\"c\"");
  EXPECT_EQ(re.matchCount(), 0);
  EXPECT_EQ(re.patternText(), pattern);
  re.execute(pattern, "id=\"c\"", false, true, true, true);
  EXPECT_EQ(re.matchCount(), 1);
  EXPECT_EQ(re.patternText(), "id=\"c\"");
}

TEST(RegexSession, ScriptEngineEscapes) {
  RegexSession re;
  re.execute(R"(\u4E2D)", gbk("中"));  // \uHHHH names a character
  EXPECT_EQ(re.matchCount(), 1);
  re.execute(R"(\s\d\w)", "\t1a");
  EXPECT_EQ(re.matchCount(), 1);
  re.execute(R"(\w)", gbk("中"));  // \w stays ASCII
  EXPECT_EQ(re.matchCount(), 0);
  re.execute(R"(\y)", "y");  // an unknown escape is the letter itself
  EXPECT_EQ(re.matchCount(), 1);
  re.execute(R"((a)|\1b)", "b");  // a reference to an unset group matches empty
  EXPECT_EQ(re.matchCount(), 1);
}

TEST(RegexSession, CatastrophicPatternFailsInsteadOfHanging) {
  RegexSession re;
  const Text subject = std::string(40, 'a') + "!";
  EXPECT_FALSE(re.execute("(a+)+$", subject, true));
  EXPECT_EQ(re.matchCount(), 0);
  EXPECT_EQ(re.replaceMatches(), "");
  EXPECT_FALSE(re.error().message.empty());
}

TEST(Regex, SharedAcrossThreads) {
  const Regex re("b+");
  std::vector<std::thread> threads;
  std::atomic<int> good{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 200; ++i) {
        std::vector<size_t> offsets;
        if (re.matchAll("abbcb", true, offsets) && offsets == std::vector<size_t>{1, 3, 4, 5}) {
          ++good;
        }
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(good, 800);
}

}  // namespace
}  // namespace ravelkin
