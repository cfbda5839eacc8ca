#include <algorithm>

#include "fuzz.h"
#include "text/cleanup.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  using namespace ravelkin;
  const Text text = textOf(data, size);
  const Text clean = stripHtml(text);
  // Only deletions happen, besides '?' for a byte that is no character and the euro sign's
  // GB18030 form (two bytes) for a lone 0x80.
  const size_t euros = static_cast<size_t>(std::count(text.begin(), text.end(), '\x80'));
  FUZZ_CHECK(clean.size() <= text.size() + euros);
  FUZZ_CHECK(clean.find('\0') == Text::npos);
  FUZZ_CHECK(stripHtml(clean).size() <= clean.size());
  keepNonAscii(text, true);
  return 0;
}
