#include "catalogue/catalogue.h"

#include "net/charset.h"
#include "net/fetch.h"
#include "text/cleanup.h"
#include "text/codepage.h"
#include "text/regex.h"

namespace ravelkin {

CatalogueResult chaptersFromPage(const Text& page, const Text& pattern, const Text& prefix) {
  CatalogueResult result;
  RegexSession re;
  if (!re.execute(pattern, page)) {
    result.error = utf8ToText("章节正则表达式有误：") + re.errorText();
    return result;
  }
  const int n = re.matchCount();
  if (n == 0) {
    result.error = utf8ToText("章节正则表达式没有匹配到任何章节");
    return result;
  }
  const bool titleInGroup2 = !keepNonAscii(re.groupText(1, 2)).empty();
  const int titleGroup = titleInGroup2 ? 2 : 1;
  const int linkGroup = titleInGroup2 ? 1 : 2;
  result.rows.reserve(static_cast<size_t>(n));
  for (int i = 1; i <= n; ++i) {
    result.rows.push_back(
        {numberToText(i), re.groupText(i, titleGroup), prefix + re.groupText(i, linkGroup)});
  }
  return result;
}

CatalogueResult refreshChapters(const Text& catalogueUrl, const Text& pattern, const Text& prefix,
                                std::stop_token stop) {
  const FetchResponse response = fetch({.url = catalogueUrl, .stop = stop});
  if (!response.ok() || response.status >= 400) {
    CatalogueResult failed;
    failed.error = utf8ToText("目录页下载失败：") +
                   (response.ok() ? "HTTP " + numberToText(response.status) : response.error);
    return failed;
  }
  return chaptersFromPage(decodePage(response.body, response.contentType), pattern, prefix);
}

}  // namespace ravelkin
