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
  Text journalFile() const { return folder() + ".assembling"; }
};

// Appends chapterText and CR LF to the chapter file of the row, making the folder when missing.
// A new chapter file appears whole or not at all; false (with why) when it could not be written.
bool appendChapterFile(const BookPaths& paths, int row, const Text& chapterText, Text* why);

struct AssemblyResult {
  int merged = 0;  // chapter files appended to the book and removed
  Text error;      // empty on success
};

// Appends the chapter files of rows 0..count-1, in order and each followed by CR LF, to the book
// file (created when missing; what it held before is never touched), then deletes them. A missing
// chapter file adds a lone CR LF. All or nothing: when a chapter cannot be read or appended, the
// book is cut back to what it held before and every chapter file stays. A journal beside the book
// lets finishAssembly complete or undo an assembly that was killed half-way. count 0 creates
// nothing.
AssemblyResult assembleBook(const BookPaths& paths, int count);

// Completes (chapters appended: delete their files) or undoes (cut the book back) an assembly
// that did not finish; does nothing when none was interrupted. Runs before a run looks at the
// chapter files, so that no chapter is ever in the book twice or lost.
void finishAssembly(const BookPaths& paths);

}  // namespace ravelkin
