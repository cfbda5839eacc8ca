#include "text/cleanup.h"

#include "text/codepage.h"
#include "text/regex.h"

namespace ravelkin {

Text stripHtml(const Text& text) {
  if (text.empty()) return {};
  // Called for every chapter on every worker: compile once per thread.
  thread_local const Regex pattern(
      R"(<script[\s\S]*?</script>|<style[\s\S]*?</style>|<[^>]+>|&.{1,8};)");
  bool ok = false;
  const std::string cleaned = pattern.replaceAll(textToUtf8(text), "", ok);
  return ok ? utf8ToText(cleaned) : Text();
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
