// Fixed clean-up passes over page text.
#pragma once

#include "text/text.h"

namespace ravelkin {

// Deletes, letter case ignored, script blocks, style blocks, any other tag, and entities ('&',
// one to eight characters other than a line feed, ';'), trying them in that order at each place.
// Entities are deleted, not decoded, and no line break is put in for a tag: everything else
// stays byte for byte. Empty when the input is empty.
Text stripHtml(const Text& text);

// The characters outside 0x20..0x7F, in order (controls such as tab and line breaks, and every
// double-byte character, whole); with removeWhiteSpace, tab, LF, VT, FF and CR go too.
Text keepNonAscii(const Text& text, bool removeWhiteSpace = false);

}  // namespace ravelkin
