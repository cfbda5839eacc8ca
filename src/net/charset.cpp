#include "net/charset.h"

#include <algorithm>
#include <array>
#include <string>

#include "text/codepage.h"

namespace ravelkin {
namespace {

enum class Family { Gbk, Utf8, Other, Unknown };

struct Label {
  Family family = Family::Unknown;
  std::string name;  // for Other: iconv's name
};

bool isLabelChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c == '.' || c == ':';
}

Label classify(std::string_view raw) {
  const std::string label = toLower(Text(raw));
  static constexpr std::array<std::string_view, 12> kGbk = {
      "gbk",         "gb2312", "gb_2312-80", "gb18030",  "x-gbk",   "cp936",
      "windows-936", "euc-cn", "gb_2312",    "csgb2312", "chinese", "x-euc-cn"};
  static constexpr std::array<std::string_view, 3> kUtf8 = {"utf-8", "utf8", "unicode-1-1-utf-8"};
  // A 16- or 32-bit encoding declared in a page that reads as ASCII cannot be true; browsers
  // read such pages as UTF-8, and so do we.
  static constexpr std::array<std::string_view, 7> kWide = {
      "utf-16", "utf-32", "ucs-2", "ucs-4", "unicode", "csunicode", "iso-10646-ucs"};
  if (label.empty()) return {};
  if (std::find(kGbk.begin(), kGbk.end(), label) != kGbk.end()) return {Family::Gbk, {}};
  if (std::find(kUtf8.begin(), kUtf8.end(), label) != kUtf8.end()) return {Family::Utf8, {}};
  for (const std::string_view wide : kWide) {
    if (label.rfind(wide, 0) == 0) return {Family::Utf8, {}};
  }
  if (isKnownCharset(label)) return {Family::Other, label};
  return {};
}

// The value of "charset" in s (after optional spaces, '=', spaces and quotes), or empty.
std::string charsetParameter(std::string_view s) {
  const std::string lower = toLower(Text(s));
  for (size_t at = lower.find("charset"); at != std::string::npos;
       at = lower.find("charset", at + 1)) {
    size_t i = at + 7;
    while (i < s.size() && s[i] == ' ') ++i;
    if (i >= s.size() || s[i] != '=') continue;
    ++i;
    while (i < s.size() && (s[i] == ' ' || s[i] == '"' || s[i] == '\'')) ++i;
    size_t end = i;
    while (end < s.size() && isLabelChar(s[end])) ++end;
    if (end > i) return std::string(s.substr(i, end - i));
  }
  return {};
}

// The charset that the first <meta> tag declaring one names, or empty.
std::string metaCharset(const Text& page) {
  for (int at = findText(page, "<meta", {}, true); at != -1;
       at = findText(page, "<meta", at + 5, true)) {
    const size_t begin = static_cast<size_t>(at - 1);
    const size_t close = page.find('>', begin);
    const std::string_view tag = std::string_view(page).substr(
        begin, close == std::string::npos ? std::string::npos : close - begin);
    std::string label = charsetParameter(tag);
    if (!label.empty()) return label;
  }
  return {};
}

Text cutAtZero(std::string s) {
  s.resize(std::min(s.size(), s.find('\0')));
  return s;
}

Text fromUtf8(const Text& t) { return cutAtZero(utf8ToText(t)); }

const char* codePageName(int codePage) {
  switch (codePage) {
    case 0:
    case 936:
    case 54936:
      return kSystemCharset;
    case 65001:
      return "UTF-8";
    case 1200:
      return "UTF-16LE";
    case 1201:
      return "UTF-16BE";
    case 950:
      return "BIG5";
    case 932:
      return "CP932";
    case 949:
      return "CP949";
    case 1252:
      return "CP1252";
    case 20127:
      return "ASCII";
    case 28591:
      return "ISO-8859-1";
    default:
      return nullptr;
  }
}

}  // namespace

Text decodePage(const Bytes& page, std::string_view contentType) {
  const Text t = bytesToText(page);
  if (t.rfind("\xEF\xBB\xBF", 0) == 0) return fromUtf8(t.substr(3));

  Label label = classify(charsetParameter(contentType));
  if (label.family == Family::Unknown && !contentType.empty() &&
      std::all_of(contentType.begin(), contentType.end(), isLabelChar)) {
    label = classify(contentType);  // a bare label
  }
  if (label.family == Family::Unknown) label = classify(metaCharset(t));
  if (label.family == Family::Unknown && (findText(t, "=gbk") != -1 || findText(t, "=GBK") != -1)) {
    label.family = Family::Gbk;
  }
  if (label.family == Family::Unknown) return isValidUtf8(t) ? fromUtf8(t) : t;

  switch (label.family) {
    case Family::Utf8:
      // Sites that declare UTF-8 and serve GBK are common; a GBK page is never valid UTF-8
      // beyond a few characters, so its own bytes decide.
      if (!isValidUtf8(t) && isValidGb18030(t)) return t;
      return fromUtf8(t);
    case Family::Other:
      return cutAtZero(convertCharset(t, label.name.c_str(), kSystemCharset));
    default:
      return t;
  }
}

Text utf8PageToGbk(const Bytes& page) { return fromUtf8(page); }

Text convertCodePage(const Text& text, int sourceCodePage, int targetCodePage) {
  const char* from = codePageName(sourceCodePage);
  const char* to = codePageName(targetCodePage);
  if (!from || !to || text.empty()) return {};
  return cutAtZero(convertCharset(text, from, to));
}

Bytes textToUtf16(const Text& text, int codePage) {
  const char* from = codePageName(codePage);
  if (!from || text.empty()) return {};
  return convertCharset(bytesToText(text), from, "UTF-16LE") + std::string(2, '\0');
}

Text utf16ToText(const Bytes& wide, int codePage) {
  const char* to = codePageName(codePage);
  if (!to) return {};
  size_t units = 0;
  while (2 * units + 1 < wide.size() && (wide[2 * units] != '\0' || wide[2 * units + 1] != '\0')) {
    ++units;
  }
  if (units == 0) return {};
  return cutAtZero(convertCharset(std::string_view(wide).substr(0, 2 * units), "UTF-16LE", to));
}

}  // namespace ravelkin
