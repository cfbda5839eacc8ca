#include "fuzz.h"
#include "text/codepage.h"
#include "text/regex.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  using namespace ravelkin;
  if (size == 0) return 0;
  // First byte: pattern length; the pattern, then the subject.
  const std::string rest = textOf(data + 1, size - 1);
  const size_t patternLength = std::min<size_t>(data[0], rest.size());
  const Text pattern = rest.substr(0, patternLength);
  const Text subject = rest.substr(patternLength);
  RegexSession re;
  const bool ran = re.execute(pattern, subject, data[0] & 1, data[0] & 2);
  const int n = re.matchCount();
  FUZZ_CHECK(ran || n == 0);
  for (int i = 0; i <= n + 1; ++i) {
    re.matchText(i);
    for (int j = 0; j <= re.groupCount() + 1; ++j) re.groupText(i, j);
  }
  // Without a match the subject comes back whole (as the engine read it).
  const Text replaced = re.replaceMatches();
  FUZZ_CHECK(!ran || n > 0 || replaced == utf8ToText(textToUtf8(subject)));
  re.patternText();
  return 0;
}
