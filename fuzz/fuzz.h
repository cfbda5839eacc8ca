// Shared bits of the fuzz targets: a failed property aborts, which libFuzzer reports as a crash
// with the input that caused it.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#define FUZZ_CHECK(condition)                                                                \
  do {                                                                                       \
    if (!(condition)) {                                                                      \
      std::fprintf(stderr, "property failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
      std::abort();                                                                          \
    }                                                                                        \
  } while (0)

inline std::string bytesOf(const unsigned char* data, size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

// The input up to its first zero byte: what a Text can hold.
inline std::string textOf(const unsigned char* data, size_t size) {
  std::string s = bytesOf(data, size);
  s.resize(std::min(s.size(), s.find('\0')));
  return s;
}
