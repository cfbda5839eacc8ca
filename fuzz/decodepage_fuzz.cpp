#include "fuzz.h"
#include "net/charset.h"
#include "text/codepage.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  using namespace ravelkin;
  if (size == 0) return 0;
  // First byte: length of a Content-Type value taken from the front of the input.
  const size_t labelLength = std::min<size_t>(data[0] % 32, size - 1);
  const std::string contentType = bytesOf(data + 1, labelLength);
  const Bytes page = bytesOf(data + 1 + labelLength, size - 1 - labelLength);
  const Text text = decodePage(page, contentType);
  FUZZ_CHECK(text.find('\0') == Text::npos);
  // A page that is plain ASCII up to its first zero byte comes out as those bytes.
  const Text head = bytesToText(page);
  if (isAscii(head) && toLower(head).find("charset") == Text::npos && contentType.empty()) {
    FUZZ_CHECK(text == head);
  }
  return 0;
}
