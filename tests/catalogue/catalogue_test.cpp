#include "catalogue/catalogue.h"

#include <gtest/gtest.h>

#include "support/literals.h"
#include "support/novel_site.h"

namespace ravelkin {
namespace {

using test::gbk;
using test::NovelSite;

const Text kPage =
    gbk("<a href=\"/b/1.html\">第一章 出山</a>\n"
        "<A HREF=\"/b/2.html\">第二章 下山</A>\n"
        "<a href=\"/b/3.html\">第三章 回山</a>\n");

TEST(ChaptersFromPage, GroupOrderPrefixAndNumbering) {
  const std::vector<ChapterRow> want = {
      {"1", gbk("第一章 出山"), "http://x/b/1.html"},
      {"2", gbk("第二章 下山"), "http://x/b/2.html"},
      {"3", gbk("第三章 回山"), "http://x/b/3.html"},
  };
  // Link then title (the pattern ignores letter case) ...
  EXPECT_EQ(chaptersFromPage(kPage, R"re(<a href="([^"]+)">([^<]+)</a>)re", "http://x").rows, want);
  // ... and title then link give the same rows.
  const Text titleFirst =
      gbk("<li>第一章 出山|/b/1.html</li><li>第二章 下山|/b/2.html</li>"
          "<li>第三章 回山|/b/3.html</li>");
  EXPECT_EQ(chaptersFromPage(titleFirst, R"(<li>([^|]+)\|([^<]+)</li>)", "http://x").rows, want);
  // An empty prefix leaves the link as captured.
  EXPECT_EQ(chaptersFromPage(kPage, R"re(<a href="([^"]+)">([^<]+)</a>)re", "").rows[0].url,
            "/b/1.html");
}

TEST(ChaptersFromPage, TitleGroupDecidedByTheFirstMatch) {
  // Captured (title, link): group 2 of match 1 is ASCII, so group 1 is the title everywhere.
  const Text page = gbk("<i>第一章</i>=/1.html;<i>第二章</i>=/2.html;");
  auto rows = chaptersFromPage(page, R"(<i>([^<]+)</i>=([^;]+);)", "").rows;
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1].title, gbk("第二章"));
  EXPECT_EQ(rows[1].url, "/2.html");

  // An ASCII first title decides for all rows: group 1 (the link) is taken as the title.
  const Text mixed = gbk("/1.html=Chapter 1;/2.html=第二章;");
  rows = chaptersFromPage(mixed, R"(([^=;]+)=([^;]+);)", "").rows;
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1].title, "/2.html");
  EXPECT_EQ(rows[1].url, gbk("第二章"));
}

TEST(ChaptersFromPage, EmptyResultsSayWhy) {
  CatalogueResult r = chaptersFromPage(kPage, "(", "");
  EXPECT_TRUE(r.rows.empty());
  EXPECT_EQ(r.error.rfind(gbk("章节正则表达式有误："), 0), 0u);
  EXPECT_NE(r.error.find("offset 1"), std::string::npos);

  r = chaptersFromPage(kPage, "nothing like this", "");
  EXPECT_TRUE(r.rows.empty());
  EXPECT_EQ(r.error, gbk("章节正则表达式没有匹配到任何章节"));
}

TEST(RefreshChapters, FetchesAndDecodesBothCharsets) {
  for (const auto charset : {NovelSite::Charset::Gbk, NovelSite::Charset::Utf8}) {
    NovelSite site(3, charset);
    const CatalogueResult r =
        refreshChapters(site.catalogueUrl(), NovelSite::pattern(), site.prefix());
    ASSERT_EQ(r.rows.size(), 3u) << r.error;
    EXPECT_EQ(r.rows[2].title, gbk(NovelSite::title(3)));
    EXPECT_EQ(r.rows[2].url, site.prefix() + "/c/3.html");
    // Refreshing again gives the same rows, not twice as many.
    EXPECT_EQ(refreshChapters(site.catalogueUrl(), NovelSite::pattern(), site.prefix()).rows,
              r.rows);
  }
}

TEST(RefreshChapters, FailedFetchSaysWhy) {
  NovelSite site(1);
  CatalogueResult r = refreshChapters(site.prefix() + "/missing", NovelSite::pattern(), "");
  EXPECT_TRUE(r.rows.empty());
  EXPECT_EQ(r.error, gbk("目录页下载失败：HTTP 404"));

  r = refreshChapters("http://127.0.0.1:1/", NovelSite::pattern(), "");
  EXPECT_EQ(r.error.rfind(gbk("目录页下载失败："), 0), 0u);
  EXPECT_GT(r.error.size(), gbk("目录页下载失败：").size());
}

}  // namespace
}  // namespace ravelkin
