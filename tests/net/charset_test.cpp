#include "net/charset.h"

#include <gtest/gtest.h>

#include "support/literals.h"
#include "text/codepage.h"

namespace ravelkin {
namespace {

using test::bytes;
using test::gbk;

const std::string kUtf8Zhongwen = "\xE4\xB8\xAD\xE6\x96\x87";  // 中文 in UTF-8
const std::string kGbkZhongwen = "\xD6\xD0\xCE\xC4";           // 中文 in GBK

TEST(DecodePage, DecisionOrder) {
  struct Case {
    const char* what;
    Bytes page;
    std::string contentType;
    Text want;
  } cases[] = {
      {"UTF-8 without any declaration", kUtf8Zhongwen, "", kGbkZhongwen},
      {"GBK without any declaration", kGbkZhongwen, "", kGbkZhongwen},
      {"plain ASCII", "<p>hello</p>", "", "<p>hello</p>"},
      {"empty page", "", "", ""},
      {"byte-order mark beats everything",
       "\xEF\xBB\xBF"
       "=gbk" +
           kUtf8Zhongwen,
       "text/html; charset=gbk", "=gbk" + kGbkZhongwen},
      {"header label gbk", kGbkZhongwen, "text/html; charset=GBK", kGbkZhongwen},
      {"header label utf-8", "<meta charset=gbk>" + kUtf8Zhongwen, "text/html;charset=\"UTF-8\"",
       "<meta charset=gbk>" + kGbkZhongwen},
      {"bare header label", kUtf8Zhongwen, "utf-8", kGbkZhongwen},
      {"unknown header label is passed over", "<meta charset=gbk>" + kGbkZhongwen,
       "text/html; charset=x-nonsense", "<meta charset=gbk>" + kGbkZhongwen},
      {"meta charset gb2312", "<META CHARSET=\"gb2312\">" + kGbkZhongwen, "",
       "<META CHARSET=\"gb2312\">" + kGbkZhongwen},
      {"meta Gbk in mixed case", "<meta charset=Gbk>" + kGbkZhongwen, "",
       "<meta charset=Gbk>" + kGbkZhongwen},
      {"meta http-equiv",
       "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb18030\">" + kGbkZhongwen,
       "",
       "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb18030\">" + kGbkZhongwen},
      {"meta utf-8 beats =gbk in a link",
       "<meta charset=utf-8><a href=\"?enc=gbk\">" + kUtf8Zhongwen + "</a>", "",
       "<meta charset=utf-8><a href=\"?enc=gbk\">" + kGbkZhongwen + "</a>"},
      {"=gbk alone still means GBK", "<a href=\"?enc=gbk\">" + kGbkZhongwen, "",
       "<a href=\"?enc=gbk\">" + kGbkZhongwen},
      {"UTF-8 page linking to =GBK without declaration", "?x=GBK" + kGbkZhongwen, "",
       "?x=GBK" + kGbkZhongwen},
      {"declared UTF-8 but GBK bytes", "<meta charset=utf-8>" + kGbkZhongwen, "",
       "<meta charset=utf-8>" + kGbkZhongwen},
      {"declared UTF-8 by header but GBK bytes", kGbkZhongwen, "text/html; charset=utf-8",
       kGbkZhongwen},
      {"other label converted", "\xA4\xA4\xA4\xE5", "text/html; charset=big5", kGbkZhongwen},
      {"a 16-bit label in a page that reads as ASCII", "<meta charset=unicode>" + kUtf8Zhongwen, "",
       "<meta charset=unicode>" + kGbkZhongwen},
      {"ends at the first zero byte, GBK", bytes("<meta charset=gbk>a\0b"), "",
       "<meta charset=gbk>a"},
      {"ends at the first zero byte, UTF-8", kUtf8Zhongwen + bytes("\0") + kUtf8Zhongwen, "",
       kGbkZhongwen},
  };
  for (const Case& c : cases) EXPECT_EQ(decodePage(c.page, c.contentType), c.want) << c.what;
}

TEST(DecodePage, BadUtf8BytesBecomeQuestionMarks) {
  // Declared UTF-8, neither valid UTF-8 nor valid GBK: converted, each bad byte one '?'.
  EXPECT_EQ(decodePage("<meta charset=utf-8>a\xFF"
                       "b" +
                       kUtf8Zhongwen),
            "<meta charset=utf-8>a?b" + kGbkZhongwen);
}

TEST(CodePages, ConversionsByNumber) {
  EXPECT_EQ(utf8PageToGbk(kUtf8Zhongwen), kGbkZhongwen);
  EXPECT_EQ(utf8PageToGbk(""), "");
  EXPECT_EQ(convertCodePage(kGbkZhongwen, 936, 65001), kUtf8Zhongwen);
  EXPECT_EQ(convertCodePage(kUtf8Zhongwen, 65001, 936), kGbkZhongwen);
  EXPECT_EQ(convertCodePage("", 936, 65001), "");
  EXPECT_EQ(convertCodePage("abc", 936, 12345), "");
  EXPECT_EQ(textToUtf16("A" + kUtf8Zhongwen), bytes("A\0\x2D\x4E\x87\x65\0\0"));
  EXPECT_EQ(textToUtf16(kGbkZhongwen, 936), bytes("\x2D\x4E\x87\x65\0\0"));
  EXPECT_EQ(utf16ToText(bytes("\x2D\x4E\x87\x65\0\0x\0")), kGbkZhongwen);
  EXPECT_EQ(utf16ToText(bytes("A\0"), 65001), "A");
  EXPECT_EQ(utf16ToText(""), "");
  // A character GBK lacks is kept (as GB18030), never replaced.
  EXPECT_EQ(convertCodePage(convertCodePage("\xF0\x9F\x98\x80", 65001, 936), 936, 65001),
            "\xF0\x9F\x98\x80");
}

}  // namespace
}  // namespace ravelkin
