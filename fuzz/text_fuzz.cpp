// The byte-text primitives against a plain model of character stepping.
#include <algorithm>
#include <vector>

#include "fuzz.h"
#include "text/text.h"

namespace {

// A scan from `from`, taken as a character start: a byte of 0x80 or above takes the next byte
// with it, and one that is the text's last byte ends the scan.
int modelFind(const std::string& t, const std::string& n, size_t from) {
  if (from >= t.size()) return -1;
  if (n.empty()) return 1;
  for (size_t i = from; i < t.size(); i += static_cast<unsigned char>(t[i]) >= 0x80 ? 2 : 1) {
    if (i + 1 == t.size() && static_cast<unsigned char>(t[i]) >= 0x80) break;
    if (i + n.size() <= t.size() && t.compare(i, n.size(), n) == 0) return static_cast<int>(i) + 1;
  }
  return -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  using namespace ravelkin;
  if (size < 2) return 0;
  // First byte: needle length; second: a start position; then needle and text.
  const size_t needleLength = std::min<size_t>(data[0] % 8, size - 2);
  const int start = data[1] % 40 - 5;
  const std::string rest = textOf(data + 2, size - 2);
  const std::string needle = rest.substr(0, needleLength);
  const std::string text = rest.substr(std::min(needleLength, rest.size()));

  FUZZ_CHECK(findText(text, needle) == modelFind(text, needle, 0));
  FUZZ_CHECK(findText(text, needle, start) ==
             modelFind(text, needle, static_cast<size_t>(std::max(start - 1, 0))));

  const int last = findTextReverse(text, needle);
  FUZZ_CHECK(last == -1 || (last >= 1 && static_cast<size_t>(last) <= text.size()));

  // Splitting then joining gives the text back, less a trailing delimiter.
  if (!needle.empty()) {
    const std::vector<Text> pieces = splitText(text, needle);
    Text joined;
    for (size_t i = 0; i < pieces.size(); ++i) joined += (i ? needle : "") + pieces[i];
    FUZZ_CHECK(text.compare(0, joined.size(), joined) == 0);
    // Replacing every occurrence with itself changes nothing.
    FUZZ_CHECK(replaceText(text, needle, needle, {}, {}, true) == text);
  }
  const Text trimmed = trimText(text);
  FUZZ_CHECK(trimmed.size() <= text.size());
  FUZZ_CHECK(removeAllSpaces(text).size() <= text.size());
  FUZZ_CHECK(toLower(text).size() == text.size() && toUpper(text).size() == text.size());
  FUZZ_CHECK(textMid(text, start, needleLength).size() <= needleLength);
  textBetween(text, needle, needle.substr(0, needleLength / 2), start);
  toInteger(text);
  return 0;
}
