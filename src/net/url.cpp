#include "net/url.h"

namespace ravelkin {

bool isSecureUrl(const Text& url) { return toLower(textLeft(url, 8)) == "https://"; }

Text hostOfUrl(const Text& url, bool mainDomainOnly, bool keepPort, std::optional<int> levelCount) {
  Text s = toLower(url);
  if (!levelCount) {
    if (textRight(s, 1) != "/") s += "/";
    if (textLeft(s, 8) == "https://") {
      s = textBetween(s, "https://", "/");
    } else {
      if (findText(s, "http://") == -1) s = "http://" + s;
      s = textBetween(s, "http://", "/");
    }
    if (mainDomainOnly) {
      const std::vector<Text> labels = splitText(s, ".");
      if (labels.size() >= 2) s = labels[labels.size() - 2] + "." + labels.back();
    }
  } else {
    s = replaceText(s, "http://", "", {}, {}, true);
    s = replaceText(s, "https://", "", {}, {}, true);
    const int slash = findText(s, "/");
    if (slash != -1) s = textLeft(s, slash - 1);
    const int length = textLength(s);
    int p = length;
    for (int i = 0; i < *levelCount; ++i) {
      if (p != -1) p = findTextReverse(s, ".", p);
    }
    const int q = p == -1 ? -1 : findTextReverse(s, ".", p);
    if (mainDomainOnly) {
      if (q != -1) s = textRight(s, length - q);
    } else if (q != -1) {
      const int r = findTextReverse(s, ".", q);
      if (r != -1) s = textRight(s, length - r);
    }
  }
  const int colon = findText(s, ":");
  if (keepPort || colon == -1) return s;
  return textLeft(s, colon - 1);
}

int portOfUrl(const Text& url) {
  const Text host = hostOfUrl(url, false, true);
  const int colon = findTextReverse(host, ":");
  if (colon != -1) return toInteger(textMid(host, colon + 1, textLength(host)));
  return toLower(textLeft(url, 5)) == "https" ? 443 : 80;
}

Text pathOfUrl(const Text& url) {
  const int a = findText(url, hostOfUrl(url), {}, true);
  const int b = findText(url, "/", a, true);
  if (b == -1) return "/";
  return textMid(url, b, textLength(url));
}

Text valueAfterColon(const Text& text) {
  const int p = findText(text, ":");
  if (p == -1) return {};
  return trimText(textMid(text, p + 1, textLength(text)));
}

}  // namespace ravelkin
