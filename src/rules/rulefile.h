// The rule file (.zjp): six percent-encoded fields joined by CR LF, in code page 936.
#pragma once

#include <optional>

#include "text/text.h"

namespace ravelkin {

// The six rule fields, in the order a rule file holds them.
struct RuleSet {
  Text catalogueUrl;    // 编辑框_URL
  Text urlPrefix;       // 编辑框_QURL
  Text startMarker;     // 编辑框_前
  Text chapterPattern;  // 编辑框_章节正则
  Text novelName;       // 编辑框_小说名字
  Text endMarker;       // 编辑框_后

  bool operator==(const RuleSet&) const = default;
};

// Every byte as "%" and two upper-case hex digits, except, with keepPlain, '-', '.', digits and
// ASCII letters, which stand as themselves. asUtf8 encodes the UTF-8 form of the text instead.
Text percentEncode(const Text& text, bool keepPlain = false, bool asUtf8 = false);

// Undoes percentEncode byte by byte; malformed escapes decode by fixed rules ('%G1' gives 0xE1,
// '%4' at the end 0x40, '%00' nothing). asUtf8 reads the decoded bytes as UTF-8.
Text percentDecode(const Text& text, bool asUtf8 = false);

// The content of a rule file for these rules: six lines with no line end after the last.
Text encodeRuleFile(const RuleSet& rules);

// The rules in a rule file's content (read up to its first zero byte), or nothing when it does
// not split at CR LF into exactly six pieces. Content that ends in CR LF and splits into five
// pieces has an empty sixth field: that is how rules with an empty end marker are written.
std::optional<RuleSet> decodeRuleFile(const Bytes& content);

}  // namespace ravelkin
