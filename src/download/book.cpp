#include "download/book.h"

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

AssemblyResult assembleBook(const BookPaths& paths, int count) {
  AssemblyResult result;
  const Text failed = utf8ToText("书籍合并失败：");
  for (int row = 0; row < count; ++row) {
    Text why;
    if (!ensureFolder(paths, &why)) {
      result.error = failed + why;
      return result;
    }
    const Text chapter = paths.chapterFile(row);
    Bytes text;
    // The whole file: a 0x1A byte brought in by a page must not cut the chapter short.
    if (fileExists(chapter) && !readWholeFile(chapter, text, &why)) {
      result.error = failed + chapter + utf8ToText("：") + why;
      return result;
    }
    if (!appendToFile(paths.bookFile(), text + "\r\n", &why)) {
      result.error = failed + paths.bookFile() + utf8ToText("：") + why;
      return result;
    }
    deleteFile(chapter);
    ++result.merged;
  }
  return result;
}

}  // namespace ravelkin
