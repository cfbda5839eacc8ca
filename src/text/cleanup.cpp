#include "text/cleanup.h"

#include <cstring>

#include "text/regex.h"

namespace ravelkin {
namespace {

// The length of the character starting at i, as the regular-expression engine counts characters
// in the system's text: one byte for ASCII and for a byte that starts no valid character, two for
// a double-byte character, four for a GB18030 four-byte sequence.
size_t characterLength(const Text& t, size_t i) {
  const auto b = [&](size_t k) { return static_cast<unsigned char>(t[k]); };
  const unsigned char lead = b(i);
  if (lead < 0x81 || lead == 0xFF || i + 1 >= t.size()) return 1;
  const unsigned char second = b(i + 1);
  if (second >= 0x30 && second <= 0x39) {
    const bool four = i + 3 < t.size() && b(i + 2) >= 0x81 && b(i + 2) <= 0xFE &&
                      b(i + 3) >= 0x30 && b(i + 3) <= 0x39;
    return four ? 4 : 1;
  }
  return (second >= 0x40 && second != 0x7F && second != 0xFF) ? 2 : 1;
}

// The length of the entity at i (an '&'): '&', one to eight characters other than a line feed,
// and ';', as long as possible; 0 when there is none.
size_t entityLength(const Text& t, size_t i) {
  size_t best = 0;
  size_t at = i + 1;
  for (int chars = 1; chars <= 8 && at < t.size() && t[at] != '\n'; ++chars) {
    at += characterLength(t, at);
    if (at < t.size() && t[at] == ';') best = at + 1 - i;
  }
  return best;
}

}  // namespace

Text stripHtml(const Text& text) {
  // What is deleted, letter case ignored: a script block, a style block, any other tag ('<', one
  // or more characters other than '>', '>'), and an entity ('&', one to eight characters other
  // than a line feed, ';'). Each starts with '<' or '&', bytes that are never part of a
  // double-byte character, so the text is walked as it stands: nothing is converted and every
  // byte that stays is the byte that was there. This runs for every chapter: the tag pattern is
  // compiled once per thread.
  thread_local const Regex tag(R"(<script[\s\S]*?</script>|<style[\s\S]*?</style>|<[^>]+>)",
                               Regex::Case::Insensitive, Regex::Lines::Multi, Regex::Units::Bytes,
                               Regex::Anchor::Start);
  Text out;
  out.reserve(text.size());
  const size_t lastClose = text.rfind('>');  // past it no tag can end
  size_t copied = 0;
  const char* const data = text.data();
  for (size_t i = 0; i < text.size();) {
    // A plain loop: find_first_of calls memchr for every byte.
    size_t next = i;
    while (next < text.size() && data[next] != '<' && data[next] != '&') ++next;
    if (next == text.size()) break;
    size_t length = 0;
    if (text[next] == '&') {
      length = entityLength(text, next);
    } else if (lastClose != Text::npos && next < lastClose) {
      length = tag.matchAt(text, next);
      if (length == std::string_view::npos) length = 0;
    }
    if (length == 0) {
      i = next + 1;
      continue;
    }
    out.append(text, copied, next - copied);
    copied = i = next + length;
  }
  out.append(text, copied, Text::npos);
  return out;
}

Text keepNonAscii(const Text& text, bool removeWhiteSpace) {
  // Matching "[^\x20-\x7f]" character by character keeps exactly the bytes below 0x20 and the
  // double-byte characters; no engine is needed to walk that.
  Text out;
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      const size_t n = std::min<size_t>(2, text.size() - i);
      out.append(text, i, n);
      i += n;
      continue;
    }
    const bool whiteSpace = c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
    if (c < 0x20 && !(removeWhiteSpace && whiteSpace)) out += static_cast<char>(c);
    ++i;
  }
  return out;
}

}  // namespace ravelkin
