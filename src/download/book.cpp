#include "download/book.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>

#include "files/files.h"
#include "text/codepage.h"

namespace ravelkin {
namespace {

bool ensureFolder(const BookPaths& paths, Text* why) {
  return isDirectory(paths.folder()) || ensureDirectoryPath(paths.folder(), why);
}

}  // namespace

Text safeNovelName(const Text& name) {
  if (name == "." || name == "..") return Text(name.size(), '_');
  Text out;
  out.reserve(name.size());
  for (size_t i = 0; i < name.size();) {
    // '\' may be the second byte of a double-byte character; only whole characters count.
    if (isLeadByte(name[i])) {
      out.append(name, i, 2);
      i += 2;
      continue;
    }
    const unsigned char c = static_cast<unsigned char>(name[i++]);
    out += (c == '/' || c == '\\' || c < 0x20 || c == 0x7F) ? '_' : static_cast<char>(c);
  }
  return out;
}

bool appendChapterFile(const BookPaths& paths, int row, const Text& chapterText, Text* why) {
  if (!ensureFolder(paths, why)) return false;
  const Text path = paths.chapterFile(row);
  const Text line = chapterText + "\r\n";
  // A chapter file that appeared meanwhile gets the record appended after its content.
  if (fileExists(path)) return appendToFile(path, line, why);
  return writeFileAtomically(path, line, why);
}

namespace {

// The journal says how far an assembly got: "append <book size before> <count>" while chapters are
// appended, "delete 0 <count>" once they all are and their files are being removed.
struct Journal {
  std::string phase;
  long long bookSize = 0;
  int count = 0;
};

bool writeJournal(const BookPaths& paths, const Journal& j, Text* why) {
  return writeFileAtomically(
      paths.journalFile(),
      j.phase + " " + std::to_string(j.bookSize) + " " + std::to_string(j.count) + "\n", why);
}

std::optional<Journal> readJournal(const BookPaths& paths) {
  const Bytes content = readWholeFile(paths.journalFile());
  Journal j;
  char phase[16] = {};
  if (std::sscanf(content.c_str(), "%15s %lld %d", phase, &j.bookSize, &j.count) != 3) {
    return std::nullopt;
  }
  j.phase = phase;
  return j;
}

void deleteChapters(const BookPaths& paths, int count) {
  for (int row = 0; row < count; ++row) deleteFile(paths.chapterFile(row));
}

}  // namespace

void finishAssembly(const BookPaths& paths) {
  if (!fileExists(paths.journalFile())) return;
  if (const std::optional<Journal> j = readJournal(paths)) {
    if (j->phase == "delete") {
      deleteChapters(paths, j->count);
    } else if (fileSize(paths.bookFile()) > j->bookSize) {
      truncateFile(paths.bookFile(), j->bookSize);
    }
  }
  deleteFile(paths.journalFile());
}

AssemblyResult assembleBook(const BookPaths& paths, int count) {
  AssemblyResult result;
  if (count <= 0) return result;
  const Text failed = utf8ToText("书籍合并失败：");
  Text why;
  if (!ensureFolder(paths, &why)) {
    result.error = failed + why;
    return result;
  }
  finishAssembly(paths);
  const Text book = paths.bookFile();
  const long long before = std::max(fileSize(book), 0LL);
  if (!writeJournal(paths, {"append", before, count}, &why)) {
    result.error = failed + paths.journalFile() + utf8ToText("：") + why;
    return result;
  }
  for (int row = 0; row < count; ++row) {
    const Text chapter = paths.chapterFile(row);
    Bytes text;
    // The whole file: a 0x1A byte brought in by a page must not cut the chapter short.
    const bool read = !fileExists(chapter) || readWholeFile(chapter, text, &why);
    if (!read || !appendToFile(book, text + "\r\n", &why)) {
      result.error = failed + (read ? book : chapter) + utf8ToText("：") + why;
      finishAssembly(paths);  // undoes what this assembly appended
      return result;
    }
  }
  // Every chapter is in the book; from here on an interruption only leaves files to delete.
  if (!writeJournal(paths, {"delete", 0, count}, &why)) {
    // The "append" journal must not survive: undoing it now would lose chapters. Without any
    // journal an interruption can only leave chapter files to be merged again, never lose one.
    deleteFile(paths.journalFile());
  }
  deleteChapters(paths, count);
  deleteFile(paths.journalFile());
  result.merged = count;
  return result;
}

}  // namespace ravelkin
