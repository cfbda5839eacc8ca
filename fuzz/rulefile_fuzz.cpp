#include "fuzz.h"
#include "rules/rulefile.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  using namespace ravelkin;
  const std::optional<RuleSet> rules = decodeRuleFile(bytesOf(data, size));
  if (rules) {
    // Whatever a file held, writing its rules back gives a file that reads the same.
    const std::optional<RuleSet> again = decodeRuleFile(encodeRuleFile(*rules));
    FUZZ_CHECK(again && *again == *rules);
  }
  return 0;
}
