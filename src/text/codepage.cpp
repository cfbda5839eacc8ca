#include "text/codepage.h"

#include <iconv.h>

#include <cerrno>
#include <map>
#include <memory>
#include <utility>

namespace ravelkin {
namespace {

class IconvHandle {
 public:
  IconvHandle(const char* to, const char* from) : h_(iconv_open(to, from)) {}
  ~IconvHandle() {
    if (valid()) iconv_close(h_);
  }
  IconvHandle(IconvHandle&& o) noexcept : h_(std::exchange(o.h_, invalid())) {}
  IconvHandle& operator=(IconvHandle&&) = delete;
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;

  bool valid() const { return h_ != invalid(); }
  iconv_t get() const { return h_; }

 private:
  static iconv_t invalid() { return reinterpret_cast<iconv_t>(-1); }
  iconv_t h_;
};

// One converter for a pair of charsets: opening gconv modules is costly and pages are
// converted one after another on the same worker thread, so each thread keeps its handles.
class Converter {
 public:
  Converter(const std::string& from, const std::string& to) : h_(to.c_str(), from.c_str()) {}

  bool valid() const { return h_.valid(); }

  // Runs iconv once from the reset state; stops at the first bad or unmappable item and
  // reports how far it got.
  std::string run(std::string_view input, size_t& consumed, int& error) {
    iconv(h_.get(), nullptr, nullptr, nullptr, nullptr);
    std::string out(input.size() * 2 + 16, '\0');
    char* in = const_cast<char*>(input.data());
    size_t inLeft = input.size();
    size_t used = 0;
    error = 0;
    for (;;) {
      char* outPtr = out.data() + used;
      size_t outLeft = out.size() - used;
      const size_t r = iconv(h_.get(), &in, &inLeft, &outPtr, &outLeft);
      used = out.size() - outLeft;
      if (r != static_cast<size_t>(-1)) {
        outPtr = out.data() + used;
        iconv(h_.get(), nullptr, nullptr, &outPtr, &outLeft);
        used = out.size() - outLeft;
        break;
      }
      if (errno == E2BIG) {
        out.resize(out.size() * 2);
        continue;
      }
      error = errno;
      break;
    }
    out.resize(used);
    consumed = input.size() - inLeft;
    return out;
  }

 private:
  IconvHandle h_;
};

Converter* converterFor(const std::string& from, const std::string& to) {
  thread_local std::map<std::pair<std::string, std::string>, std::unique_ptr<Converter>> cache;
  const auto key = std::make_pair(from, to);
  if (const auto it = cache.find(key); it != cache.end()) return it->second.get();
  auto converter = std::make_unique<Converter>(from, to);
  // Labels come from pages: remember only charsets iconv knows, so that no site can grow the
  // cache with made-up names.
  if (!converter->valid()) return nullptr;
  return cache.emplace(key, std::move(converter)).first->second.get();
}

}  // namespace

std::string convertCharset(std::string_view input, const char* from, const char* to,
                           std::string_view replacement) {
  Converter* conv = converterFor(from, to);
  if (!conv || input.empty()) return {};
  // A snippet given in UTF-8, put out in the target charset; made only when first needed.
  auto inTarget = [to](std::string_view utf8, std::string& cached) -> const std::string& {
    if (cached.empty()) {
      size_t consumed = 0;
      int error = 0;
      Converter* c = converterFor("UTF-8", to);
      if (c) cached = c->run(utf8, consumed, error);
      if (cached.empty()) cached.assign(1, '?');
    }
    return cached;
  };
  const bool fromSystem = std::string_view(from) == kSystemCharset;
  std::string marker;
  std::string euro;
  std::string out;
  while (!input.empty()) {
    size_t consumed = 0;
    int error = 0;
    out += conv->run(input, consumed, error);
    input.remove_prefix(consumed);
    if (error == 0) break;
    if (fromSystem && static_cast<unsigned char>(input.front()) == 0x80) {
      out += inTarget("\xE2\x82\xAC", euro);  // GBK reads 0x80 as the euro sign; iconv does not
      input.remove_prefix(1);
      continue;
    }
    if (!replacement.empty()) out += inTarget(replacement, marker);
    // EINVAL is a sequence cut off by the end of the input: nothing after it can be read.
    if (error == EINVAL) break;
    input.remove_prefix(1);
  }
  return out;
}

bool isKnownCharset(const std::string& label) {
  return !label.empty() && converterFor(label, kSystemCharset) != nullptr;
}

bool isValidUtf8(std::string_view s) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const size_t n = s.size();
  for (size_t i = 0; i < n;) {
    const unsigned char c = p[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t len;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      if (c == 0xE0) lo = 0xA0;
      if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      if (c == 0xF0) lo = 0x90;
      if (c == 0xF4) hi = 0x8F;
    } else {
      return false;
    }
    if (i + len > n || p[i + 1] < lo || p[i + 1] > hi) return false;
    for (size_t k = 2; k < len; ++k) {
      if (p[i + k] < 0x80 || p[i + k] > 0xBF) return false;
    }
    i += len;
  }
  return true;
}

bool isValidGb18030(std::string_view s) {
  Converter* conv = converterFor(kSystemCharset, "UTF-8");
  if (!conv) return false;
  size_t consumed = 0;
  int error = 0;
  conv->run(s, consumed, error);
  return error == 0;
}

bool isAscii(std::string_view s) {
  for (const char c : s) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

std::string textToUtf8(std::string_view text, std::string_view replacement) {
  if (isAscii(text)) return std::string(text);
  return convertCharset(text, kSystemCharset, "UTF-8", replacement);
}

Text utf8ToText(std::string_view utf8, std::string_view replacement) {
  if (isAscii(utf8)) return Text(utf8);
  return convertCharset(utf8, "UTF-8", kSystemCharset, replacement);
}

}  // namespace ravelkin
