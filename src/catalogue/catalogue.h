// The catalogue page turned into chapter rows.
#pragma once

#include <stop_token>
#include <vector>

#include "text/text.h"

namespace ravelkin {

// One row of the chapter list: status (first the 1-based row number), title, chapter URL.
struct ChapterRow {
  Text status;
  Text title;
  Text url;
  bool operator==(const ChapterRow&) const = default;
};

struct CatalogueResult {
  std::vector<ChapterRow> rows;
  // Why there are no rows: the fetch failed, the pattern did not compile, or it matched
  // nothing. Empty when rows were found.
  Text error;
};

// Fetches the catalogue page, decodes it as any page, runs the chapter pattern (case-insensitive,
// multi-line, all matches) and makes one row per match. The pattern's two groups hold the link
// and the title in either order: when group 2 of the first match holds any character outside
// 0x20..0x7F, group 2 is the title, otherwise group 1; that choice holds for every row. The
// prefix is joined in front of every link.
CatalogueResult refreshChapters(const Text& catalogueUrl, const Text& pattern, const Text& prefix,
                                std::stop_token stop = {});

// The rows a pattern gives over an already decoded page (the part of refreshChapters after the
// fetch).
CatalogueResult chaptersFromPage(const Text& page, const Text& pattern, const Text& prefix);

}  // namespace ravelkin
