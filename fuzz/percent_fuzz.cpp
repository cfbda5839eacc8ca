#include "fuzz.h"
#include "rules/rulefile.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  using namespace ravelkin;
  const Text t = textOf(data, size);
  for (const bool keepPlain : {true, false}) {
    const Text encoded = percentEncode(t, keepPlain);
    FUZZ_CHECK(encoded.find_first_not_of(
                   "%-.0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") ==
               Text::npos);
    FUZZ_CHECK(percentDecode(encoded) == t);
  }
  // Anything at all decodes, malformed escapes included, to no more bytes than it had.
  FUZZ_CHECK(percentDecode(t).size() <= t.size());
  percentDecode(t, true);
  percentEncode(t, true, true);
  return 0;
}
