#include "fuzz.h"
#include "net/cookies.h"
#include "text/codepage.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  using namespace ravelkin;
  const std::string all = textOf(data, size);
  const size_t cut = all.find('|');
  Text cookies = all.substr(0, cut);
  Text returned = cut == std::string::npos ? Text() : all.substr(cut + 1);
  const Text merged = mergeCookies(cookies, returned);
  FUZZ_CHECK(merged == cookies);
  FUZZ_CHECK(findText(returned, " ") == -1);  // spaces as characters, not second bytes
  for (const Text& entry : splitText(merged, "; ")) {
    FUZZ_CHECK(entry.size() < 8 || entry.compare(entry.size() - 8, 8, "=deleted") != 0);
  }
  // Each name the caller sent and the response did not set is kept (checked on ASCII input:
  // with double-byte characters a ';' can turn into a second byte once entries are rejoined).
  if (!isAscii(all)) return 0;
  // Only the first sent entry of a name counts; it is dropped when it is itself deleted.
  std::vector<Text> seen;
  for (const Text& sent : splitText(removeAllSpaces(all.substr(0, cut)), ";")) {
    const Text name = cookieName(sent);
    if (name.empty() || hasCookieName(seen, name)) continue;  // empty pieces vanish in the join
    seen.push_back(sent);
    if (hasCookieName(splitText(returned, ";"), name)) continue;
    if (sent.size() >= 8 && sent.compare(sent.size() - 8, 8, "=deleted") == 0) continue;
    FUZZ_CHECK(hasCookieName(splitText(merged, "; "), name));
  }
  return 0;
}
