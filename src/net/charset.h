// Turning fetched pages into the system's text, and code-page conversions by number.
#pragma once

#include <string_view>

#include "text/text.h"

namespace ravelkin {

// Code pages by number: 936 (and 0, this system's ANSI code page) is the system's text,
// 65001 is UTF-8. A few others (950 Big5, 932 Shift_JIS, 1200 UTF-16LE, ...) are known too.
inline constexpr int kCodePageAnsi = 0;
inline constexpr int kCodePageGbk = 936;
inline constexpr int kCodePageUtf8 = 65001;

// The page as text, ending at its first zero byte. Which charset the bytes are in is decided
// by the first that applies: a UTF-8 byte-order mark; the charset of contentType (an HTTP
// Content-Type value such as "text/html; charset=gbk", or empty); a charset declared in a
// <meta> tag; "=gbk" or "=GBK" anywhere in the page; otherwise UTF-8 when the bytes are valid
// UTF-8, else GBK. GBK-family labels take the bytes as they stand; an unknown label is passed
// over. A page declared UTF-8 whose bytes are not UTF-8 but are valid GBK is taken as GBK.
// Bad bytes in a converted page become '?'; the conversion never fails as a whole.
Text decodePage(const Bytes& page, std::string_view contentType = {});

// UTF-8 bytes converted to the system's text, up to the first zero byte.
Text utf8PageToGbk(const Bytes& page);

// text re-encoded from one code page to another; empty for an empty text or an unknown page.
Text convertCodePage(const Text& text, int sourceCodePage, int targetCodePage);
// text read in codePage, as UTF-16LE with a terminating zero unit.
Bytes textToUtf16(const Text& text, int codePage = kCodePageUtf8);
// UTF-16LE up to its first zero unit, in codePage, up to the first zero byte.
Text utf16ToText(const Bytes& wide, int codePage = kCodePageAnsi);

}  // namespace ravelkin
