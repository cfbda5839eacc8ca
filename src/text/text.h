// Byte text in code page 936 (GBK, read as GB18030) and the primitives every other folder uses.
//
// A Text never holds a zero byte; Bytes may. Positions are 1-based byte positions, lengths
// count bytes, and a search that finds nothing gives -1. Searching, replacing, splitting, case
// mapping and trimming step over double-byte characters as units (a byte of 0x80 or above
// takes the next byte with it), so a needle never matches from a character's second byte.
#pragma once

#include <concepts>
#include <optional>
#include <string>
#include <vector>

namespace ravelkin {

using Text = std::string;
using Bytes = std::string;

// Number of bytes.
int textLength(const Text& text);

// First occurrence of needle at or after start (1-based; omitted, 0 or negative mean byte 1),
// or -1. An empty needle gives 1 when the searched region is non-empty, else -1.
int findText(const Text& text, const Text& needle, std::optional<int> start = std::nullopt,
             bool ignoreCase = false);

// Last occurrence lying wholly before start (in the whole text when start is omitted), or -1.
// start 1 or below leaves nothing to search. An empty needle gives 1 for a non-empty region.
int findTextReverse(const Text& text, const Text& needle, std::optional<int> start = std::nullopt,
                    bool ignoreCase = false);

// Byte cuts; they may split a double-byte character. Empty when n <= 0.
Text textLeft(const Text& text, int n);
Text textRight(const Text& text, int n);
// n bytes from start, cut short at the end; empty when start < 1, start > length or n <= 0.
Text textMid(const Text& text, int start, int n);

// Replaces occurrences left to right without overlap, never rescanning a replacement.
// Omitted replacement: empty; omitted start: 1 (below 1 counts as 1); omitted count: all.
// Unchanged when text or needle is empty, start lies past the end, or count is 0.
Text replaceText(const Text& text, const Text& needle, const Text& replacement,
                 std::optional<int> start, std::optional<int> count, bool caseSensitive);

// Pieces between delimiters. Empty text: no piece; empty delimiter: the whole text. Adjacent
// delimiters give empty pieces; a trailing delimiter gives no empty last piece.
std::vector<Text> splitText(const Text& text, const Text& delimiter);

// Spaces are 0x20 and the full-width space 0xA1 0xA1; tabs and line breaks are not spaces.
Text trimText(const Text& text);
Text removeAllSpaces(const Text& text);

// ASCII letters only; double-byte characters are copied as they are.
Text toLower(const Text& text);
Text toUpper(const Text& text);

// "%.13g": 7.0 gives "7".
Text numberToText(double value);
// "%d".
template <std::integral T>
Text numberToText(T value) {
  return std::to_string(value);
}

// Full-width digits, signs and spaces count as ASCII; leading white space is skipped, then an
// optional sign and decimal digits. No digits give 0; values beyond 32 bits saturate.
int toInteger(const Text& text);

// Upper-case hexadecimal without leading zeros (of the 32-bit two's complement for negatives).
Text toHexText(long long value);

// One-byte Text of the low eight bits; 0 gives the empty Text.
Text charFromCode(int code);

// The bytes before the first zero byte.
Text bytesToText(const Bytes& bytes);
Bytes textToBytes(const Text& text);

// n spaces, or n zero bytes; empty when n < 1.
Text blankText(int n);
Bytes blankBytes(int n);
Bytes bytesLeft(const Bytes& bytes, int n);
int bytesLength(const Bytes& bytes);

// The text between the first startMarker (searched from start) and the first endMarker after
// it, or empty when either is missing. "#引号" in a marker stands for a double quote. An empty
// start marker starts at byte 1; an empty end marker gives the empty Text.
Text textBetween(const Text& text, const Text& startMarker, const Text& endMarker,
                 std::optional<int> start = std::nullopt, bool ignoreCase = false);

// The same cut, telling a missing marker (nothing) apart from markers found around an empty text.
std::optional<Text> findBetween(const Text& text, const Text& startMarker, const Text& endMarker,
                                std::optional<int> start = std::nullopt, bool ignoreCase = false);

// True when the byte starts a double-byte character.
inline bool isLeadByte(char c) { return static_cast<unsigned char>(c) >= 0x80; }

}  // namespace ravelkin
