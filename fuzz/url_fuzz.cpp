#include "fuzz.h"
#include "net/url.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  using namespace ravelkin;
  if (size == 0) return 0;
  const Text url = textOf(data + 1, size - 1);
  const Text host = hostOfUrl(url);
  FUZZ_CHECK(toLower(host) == host);
  FUZZ_CHECK(findText(host, ":") == -1);  // a ':' inside a double-byte character does not count
  const Text path = pathOfUrl(url);
  FUZZ_CHECK(!path.empty() && path[0] == '/');
  portOfUrl(url);
  hostOfUrl(url, data[0] & 1, data[0] & 2,
            (data[0] & 4) ? std::optional<int>(data[0] >> 3) : std::nullopt);
  valueAfterColon(url);
  return 0;
}
