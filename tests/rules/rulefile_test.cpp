#include "rules/rulefile.h"

#include <gtest/gtest.h>

#include <random>

#include "support/literals.h"

namespace ravelkin {
namespace {

using test::bytes;
using test::gbk;

TEST(PercentEncode, KeepsOnlyPlainBytes) {
  EXPECT_EQ(percentEncode("-.09AZaz", true), "-.09AZaz");
  EXPECT_EQ(percentEncode("a b/c_d~e", true), "a%20b%2Fc%5Fd%7Ee");
  EXPECT_EQ(percentEncode("A"), "%41");
  EXPECT_EQ(percentEncode("\r\n", true), "%0D%0A");
  EXPECT_EQ(percentEncode("", true), "");
  EXPECT_EQ(percentEncode(gbk("第一章"), true), "%B5%DA%D2%BB%D5%C2");
  EXPECT_EQ(percentEncode("</div>", true), "%3C%2Fdiv%3E");
  EXPECT_EQ(percentEncode(gbk("中"), true, true), "%E4%B8%AD");
}

TEST(PercentDecode, WellFormedAndMalformedEscapes) {
  struct Case {
    Text in;
    Bytes want;
  } cases[] = {
      {"%41", "A"},
      {"%e4", "\xE4"},
      {"a%2fb", "a/b"},
      {"%B5%DA", gbk("第")},
      {"%00", ""},
      {"a%", "a"},
      {"%4", "\x40"},
      {"%G1", "\xE1"},
      {"%1G", "\x0E"},
      {"%GG", "\xDE"},
      {"%%41",
       "\xE4"
       "1"},
      {gbk("未编码的中文"), gbk("未编码的中文")},  // copied byte by byte
  };
  for (const Case& c : cases) EXPECT_EQ(percentDecode(c.in), c.want) << c.in;
  EXPECT_EQ(percentDecode("%E4%B8%AD", true), gbk("中"));
}

TEST(PercentCodec, DecodeOfEncodeIsIdentity) {
  std::mt19937 rng(7);
  for (int n = 0; n < 500; ++n) {
    Text t;
    const int len = static_cast<int>(rng() % 40);
    for (int i = 0; i < len; ++i) t += static_cast<char>(1 + rng() % 255);
    EXPECT_EQ(percentDecode(percentEncode(t, true)), t);
    EXPECT_EQ(percentDecode(percentEncode(t, false)), t);
  }
}

TEST(RuleFile, ExactBytesAndReadBack) {
  const RuleSet rules{"a", "", "<p>", "b", gbk("书"), "</p>"};
  const Text content = encodeRuleFile(rules);
  EXPECT_EQ(content, "a\r\n\r\n%3Cp%3E\r\nb\r\n%CA%E9\r\n%3C%2Fp%3E");
  const auto back = decodeRuleFile(content);
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, rules);
}

TEST(RuleFile, WhatCountsAsSixFields) {
  const Text six = "u\r\nq\r\ns\r\np\r\nn\r\ne";
  struct Case {
    const char* what;
    Bytes content;
    bool accepted;
  } cases[] = {
      {"six lines", six, true},
      {"one extra line end", six + "\r\n", true},
      {"zero byte after the sixth line", six + bytes("\0junk\r\nmore"), true},
      {"empty sixth field written by the encoder", "u\r\nq\r\ns\r\np\r\nn\r\n", true},
      {"seven lines", six + "\r\nx", false},
      {"five lines", "u\r\nq\r\ns\r\np\r\nn", false},
      {"empty file", "", false},
      {"LF only", "u\nq\ns\np\nn\ne", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(decodeRuleFile(c.content).has_value(), c.accepted) << c.what;
  EXPECT_EQ(decodeRuleFile(six + "\r\n")->endMarker, "e");
  EXPECT_EQ(decodeRuleFile("u\r\nq\r\ns\r\np\r\nn\r\n")->endMarker, "");
}

TEST(RuleFile, EveryEncodedRuleSetReadsBack) {
  std::mt19937 rng(11);
  const Text alphabet[] = {"", "a", "\r\n", "%", gbk("第"), " ", "<", "\"", "\x81\x41"};
  auto field = [&] {
    Text t;
    const int parts = static_cast<int>(rng() % 4);  // often empty
    for (int i = 0; i < parts; ++i) t += alphabet[rng() % std::size(alphabet)];
    return t;
  };
  for (int n = 0; n < 1000; ++n) {
    const RuleSet rules{field(), field(), field(), field(), field(), field()};
    const auto back = decodeRuleFile(encodeRuleFile(rules));
    ASSERT_TRUE(back) << encodeRuleFile(rules);
    EXPECT_EQ(*back, rules);
  }
}

}  // namespace
}  // namespace ravelkin
