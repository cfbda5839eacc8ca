// Helpers shared by the test suites.
#pragma once

#include <string>
#include <string_view>

#include "text/codepage.h"
#include "text/text.h"

namespace ravelkin::test {

// The system's text for a UTF-8 literal, so tests can be written in readable Chinese.
inline Text gbk(std::string_view utf8) { return utf8ToText(utf8); }

// Bytes from a string literal that may hold zero bytes: bytes("a\0b").
template <size_t N>
Bytes bytes(const char (&s)[N]) {
  return Bytes(s, N - 1);
}

}  // namespace ravelkin::test
