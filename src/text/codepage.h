// Charset conversion over glibc iconv. The system's text is code page 936, handled as GB18030:
// byte-identical to GBK for every GBK character and able to hold every other one.
#pragma once

#include <string>
#include <string_view>

#include "text/text.h"

namespace ravelkin {

// iconv's name for the system's own text.
inline constexpr const char* kSystemCharset = "GB18030";

// Converts between any two charsets iconv knows. Never fails as a whole: each invalid input
// byte, and each character the target lacks, becomes `replacement` (given in UTF-8 and put out
// in the target charset), and the rest goes on. An unknown charset gives the empty result.
std::string convertCharset(std::string_view input, const char* from, const char* to,
                           std::string_view replacement = "?");

// True when iconv can convert from this charset label into the system's text.
bool isKnownCharset(const std::string& label);

// True when the bytes are well-formed UTF-8 (no overlongs, surrogates or values past U+10FFFF).
bool isValidUtf8(std::string_view bytes);

// True when the bytes are well-formed GB18030 (byte 0x80 counts as the euro sign).
bool isValidGb18030(std::string_view bytes);

// True when every byte is below 0x80, so the bytes read the same in GB18030 and UTF-8.
bool isAscii(std::string_view bytes);

// Shorthands for the two conversions the system makes most; ASCII-only input is returned as is.
std::string textToUtf8(std::string_view text, std::string_view replacement = "?");
Text utf8ToText(std::string_view utf8, std::string_view replacement = "?");

}  // namespace ravelkin
