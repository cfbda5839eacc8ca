// Where a novel's files live, and the chapter and book files themselves.
#pragma once

#include "text/text.h"

namespace ravelkin {

// The novel name made fit to be one file name: '/', '\', control characters and the names "."
// and ".." are replaced by '_', so a shared rule file can never write outside the output root.
Text safeNovelName(const Text& name);

// The folders and files of one novel under an output root.
struct BookPaths {
  Text root;  // the output root, ending in '/'
  Text name;  // the novel name, already made safe

  Text folder() const { return root + name + "/"; }
  Text chapterFile(int row) const { return folder() + numberToText(row) + ".txt"; }
  Text bookFile() const { return folder() + name + ".txt"; }
  Text ruleFile() const { return root + name + ".zjp"; }
};

// Appends chapterText and CR LF to the chapter file of the row, making the folder when missing.
// A new chapter file appears whole or not at all; false (with why) when it could not be written.
bool appendChapterFile(const BookPaths& paths, int row, const Text& chapterText, Text* why);

struct AssemblyResult {
  int merged = 0;  // chapter files appended to the book and removed
  Text error;      // empty on success
};

// Appends the chapter files of rows 0..count-1, in order and each followed by CR LF, to the book
// file (created when missing, never truncated), deleting each chapter file once its text is in
// the book. A missing chapter file adds a lone CR LF. Stops at the first chapter that cannot be
// read or appended, leaving it and the rest on disk. count 0 creates nothing.
AssemblyResult assembleBook(const BookPaths& paths, int count);

}  // namespace ravelkin
