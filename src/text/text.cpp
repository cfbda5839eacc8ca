#include "text/text.h"

#include <algorithm>
#include <climits>
#include <cstdio>

namespace ravelkin {
namespace {

// "#引号" in code page 936.
constexpr char kQuoteEscape[] = "#\xD2\xFD\xBA\xC5";

unsigned char byteAt(const Text& t, size_t i) { return static_cast<unsigned char>(t[i]); }

size_t charStep(const Text& t, size_t i) { return isLeadByte(t[i]) ? 2 : 1; }

// A lead byte that is the text's last byte ends every scan.
bool endsScan(const Text& t, size_t i) { return isLeadByte(t[i]) && i + 1 == t.size(); }

char foldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool bytesMatch(const char* a, const char* b, size_t n, bool fold) {
  // Most positions differ in their first byte: test it before calling into memcmp.
  if (!fold) return n == 0 || (a[0] == b[0] && std::equal(a + 1, a + n, b + 1));
  for (size_t i = 0; i < n; ++i) {
    if (foldAscii(a[i]) != foldAscii(b[i])) return false;
  }
  return true;
}

// Where a scan of text for needle starting at offset o (a character start) matches first, or
// npos; stops when fewer than needle.size() bytes of the region [0, limit) remain.
size_t scanFrom(const Text& text, const Text& needle, size_t o, size_t limit, bool fold) {
  const size_t m = needle.size();
  while (o + m <= limit) {
    if (endsScan(text, o)) break;
    if (bytesMatch(text.data() + o, needle.data(), m, fold)) return o;
    o += charStep(text, o);
  }
  return Text::npos;
}

bool isSpaceAt(const Text& t, size_t i) {
  if (t[i] == ' ') return true;
  return byteAt(t, i) == 0xA1 && i + 1 < t.size() && byteAt(t, i + 1) == 0xA1;
}

// Calls f(offset, length) for each character; a lone lead byte at the end is one byte long.
template <typename F>
void forEachChar(const Text& t, F&& f) {
  for (size_t i = 0; i < t.size();) {
    const size_t n = std::min(charStep(t, i), t.size() - i);
    f(i, n);
    i += n;
  }
}

Text mapAscii(const Text& text, char from, char to, int delta) {
  Text out = text;
  for (size_t i = 0; i < out.size(); i += charStep(out, i)) {
    if (out[i] >= from && out[i] <= to) out[i] = static_cast<char>(out[i] + delta);
  }
  return out;
}

}  // namespace

int textLength(const Text& text) { return static_cast<int>(text.size()); }

int findText(const Text& text, const Text& needle, std::optional<int> start, bool ignoreCase) {
  const size_t o = start ? static_cast<size_t>(std::max(*start - 1, 0)) : 0;
  if (o >= text.size()) return -1;
  if (needle.empty()) return 1;
  const size_t at = scanFrom(text, needle, o, text.size(), ignoreCase);
  return at == Text::npos ? -1 : static_cast<int>(at) + 1;
}

int findTextReverse(const Text& text, const Text& needle, std::optional<int> start,
                    bool ignoreCase) {
  size_t region = text.size();
  if (start) region = std::min(static_cast<size_t>(std::max(*start - 1, 0)), text.size());
  if (region == 0) return -1;
  if (needle.empty()) return 1;
  int last = -1;
  for (size_t o = 0;;) {
    const size_t at = scanFrom(text, needle, o, region, ignoreCase);
    if (at == Text::npos) break;
    last = static_cast<int>(at) + 1;
    o = at + charStep(text, at);
  }
  return last;
}

Text textLeft(const Text& text, int n) {
  if (n <= 0) return {};
  return text.substr(0, static_cast<size_t>(n));
}

Text textRight(const Text& text, int n) {
  if (n <= 0) return {};
  const size_t k = std::min(static_cast<size_t>(n), text.size());
  return text.substr(text.size() - k);
}

Text textMid(const Text& text, int start, int n) {
  if (start < 1 || static_cast<size_t>(start) > text.size() || n <= 0) return {};
  return text.substr(static_cast<size_t>(start) - 1, static_cast<size_t>(n));
}

Text replaceText(const Text& text, const Text& needle, const Text& replacement,
                 std::optional<int> start, std::optional<int> count, bool caseSensitive) {
  const size_t first = static_cast<size_t>(std::max(start.value_or(1), 1)) - 1;
  if (text.empty() || needle.empty() || first >= text.size() || (count && *count == 0)) {
    return text;
  }
  const bool fold = !caseSensitive;
  Text out = text.substr(0, first);
  size_t o = first;
  long long left = count ? *count : -1;  // a negative count never runs out
  while (left != 0) {
    const size_t at = scanFrom(text, needle, o, text.size(), fold);
    if (at == Text::npos) break;
    out.append(text, o, at - o);
    out += replacement;
    o = at + needle.size();
    if (left > 0) --left;
  }
  out.append(text, o, Text::npos);
  return out;
}

std::vector<Text> splitText(const Text& text, const Text& delimiter) {
  if (text.empty()) return {};
  if (delimiter.empty()) return {text};
  std::vector<Text> pieces;
  size_t pieceStart = 0;
  for (;;) {
    const size_t at = scanFrom(text, delimiter, pieceStart, text.size(), false);
    if (at == Text::npos) break;
    pieces.push_back(text.substr(pieceStart, at - pieceStart));
    pieceStart = at + delimiter.size();
  }
  if (pieceStart < text.size()) pieces.push_back(text.substr(pieceStart));
  return pieces;
}

Text trimText(const Text& text) {
  size_t begin = text.size();
  size_t end = 0;
  bool inLead = true;
  forEachChar(text, [&](size_t i, size_t n) {
    if (isSpaceAt(text, i)) return;
    if (inLead) begin = i;
    inLead = false;
    end = i + n;
  });
  if (begin >= end) return {};
  return text.substr(begin, end - begin);
}

Text removeAllSpaces(const Text& text) {
  Text out;
  out.reserve(text.size());
  forEachChar(text, [&](size_t i, size_t n) {
    if (!isSpaceAt(text, i)) out.append(text, i, n);
  });
  return out;
}

Text toLower(const Text& text) { return mapAscii(text, 'A', 'Z', 'a' - 'A'); }

Text toUpper(const Text& text) { return mapAscii(text, 'a', 'z', 'A' - 'a'); }

Text numberToText(double value) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.13g", value);
  return buf;
}

int toInteger(const Text& text) {
  // Full-width forms of printable ASCII (0xA3 0xA1..0xFE) and the full-width space read as ASCII.
  Text plain;
  plain.reserve(text.size());
  forEachChar(text, [&](size_t i, size_t n) {
    if (n == 2 && byteAt(text, i) == 0xA3 && byteAt(text, i + 1) >= 0xA1 &&
        byteAt(text, i + 1) <= 0xFE) {
      plain += static_cast<char>(byteAt(text, i + 1) - 0x80);
    } else if (n == 2 && byteAt(text, i) == 0xA1 && byteAt(text, i + 1) == 0xA1) {
      plain += ' ';
    } else {
      plain.append(text, i, n);
    }
  });
  size_t i = 0;
  while (i < plain.size() && (plain[i] == ' ' || (plain[i] >= '\t' && plain[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < plain.size() && (plain[i] == '+' || plain[i] == '-')) negative = plain[i++] == '-';
  long long value = 0;
  for (; i < plain.size() && plain[i] >= '0' && plain[i] <= '9'; ++i) {
    value = std::min(value * 10 + (plain[i] - '0'), static_cast<long long>(INT_MAX) + 1);
  }
  if (negative) return static_cast<int>(-value);
  return static_cast<int>(std::min(value, static_cast<long long>(INT_MAX)));
}

Text toHexText(long long value) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%X", static_cast<unsigned>(value));
  return buf;
}

Text charFromCode(int code) {
  const char c = static_cast<char>(code & 0xFF);
  return c == 0 ? Text() : Text(1, c);
}

Text bytesToText(const Bytes& bytes) { return bytes.substr(0, bytes.find('\0')); }

Bytes textToBytes(const Text& text) { return text; }

Text blankText(int n) { return n < 1 ? Text() : Text(static_cast<size_t>(n), ' '); }

Bytes blankBytes(int n) { return n < 1 ? Bytes() : Bytes(static_cast<size_t>(n), '\0'); }

Bytes bytesLeft(const Bytes& bytes, int n) {
  if (n <= 0) return {};
  return bytes.substr(0, static_cast<size_t>(n));
}

int bytesLength(const Bytes& bytes) { return static_cast<int>(bytes.size()); }

std::optional<Text> findBetween(const Text& text, const Text& startMarker, const Text& endMarker,
                                std::optional<int> start, bool ignoreCase) {
  const Text s = replaceText(startMarker, kQuoteEscape, "\"", {}, {}, true);
  const Text e = replaceText(endMarker, kQuoteEscape, "\"", {}, {}, true);
  int a = findText(text, s, start, ignoreCase);
  if (a == -1) return std::nullopt;
  a += textLength(s);
  const int b = findText(text, e, a, ignoreCase);
  if (b == -1) return std::nullopt;
  return textMid(text, a, b - a);
}

Text textBetween(const Text& text, const Text& startMarker, const Text& endMarker,
                 std::optional<int> start, bool ignoreCase) {
  return findBetween(text, startMarker, endMarker, start, ignoreCase).value_or(Text());
}

}  // namespace ravelkin
