#include "rules/rulefile.h"

#include <array>

#include "text/codepage.h"

namespace ravelkin {
namespace {

constexpr char kLineEnd[] = "\r\n";

// The fields in file order; R is RuleSet or const RuleSet.
template <typename R>
auto fieldsOf(R& r) {
  return std::array{&r.catalogueUrl,   &r.urlPrefix, &r.startMarker,
                    &r.chapterPattern, &r.novelName, &r.endMarker};
}

// A digit's value; a byte that is no hex digit counts -2 and the end of the text (c == 0) counts
// 0. These odd values keep every malformed escape decoding as rule files in circulation expect.
int hexDigit(char c) {
  if (c == '\0') return 0;
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -2;
}

bool keptPlain(unsigned char b) {
  return (b >= 0x2D && b <= 0x39 && b != 0x2F) || (b >= 0x41 && b <= 0x5A) ||
         (b >= 0x61 && b <= 0x7A);
}

}  // namespace

Text percentEncode(const Text& text, bool keepPlain, bool asUtf8) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const std::string bytes = asUtf8 ? textToUtf8(text) : text;
  Text out;
  out.reserve(bytes.size() * 3);
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (keepPlain && keptPlain(b)) {
      out += c;
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 0x0F];
    }
  }
  return out;
}

Text percentDecode(const Text& text, bool asUtf8) {
  Text out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    const char c1 = i + 1 < text.size() ? text[i + 1] : '\0';
    const char c2 = i + 2 < text.size() ? text[i + 2] : '\0';
    // A missing digit still counts as a consumed position, as the escape always spans three.
    i += 2;
    out += charFromCode((hexDigit(c1) * 16 + hexDigit(c2)) & 0xFF);
  }
  if (asUtf8) return bytesToText(utf8ToText(out));
  return out;
}

Text encodeRuleFile(const RuleSet& rules) {
  Text out;
  bool first = true;
  for (const Text* field : fieldsOf(rules)) {
    if (!first) out += kLineEnd;
    first = false;
    out += percentEncode(*field, true);
  }
  return out;
}

std::optional<RuleSet> decodeRuleFile(const Bytes& content) {
  const Text text = bytesToText(content);
  std::vector<Text> pieces = splitText(text, kLineEnd);
  const bool endsInLineEnd = text.size() >= 2 && text.compare(text.size() - 2, 2, kLineEnd) == 0;
  if (pieces.size() == 5 && endsInLineEnd) pieces.emplace_back();
  if (pieces.size() != 6) return std::nullopt;
  RuleSet rules;
  size_t i = 0;
  for (Text* field : fieldsOf(rules)) *field = percentDecode(pieces[i++]);
  return rules;
}

}  // namespace ravelkin
