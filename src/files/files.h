// File and folder primitives. Paths are Text in the system's code page with '/' separators;
// they are turned into the file system's UTF-8 names here and nowhere else. Every operation
// returns a quiet failure value (false, 0, empty) instead of reporting.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "text/text.h"

namespace ravelkin {

// The file system's (UTF-8) name for a Text path.
std::string nativePath(const Text& path);

// True when a file or a folder exists at path; false for the empty path.
bool fileExists(const Text& path);
// True when a folder exists at path (a trailing '/' is fine); false for files and missing paths.
bool isDirectory(const Text& path);
// Creates every missing folder of path, its last component included; true when all exist after.
bool ensureDirectoryPath(const Text& path);
// The same, saying why (from the system) when it fails.
bool ensureDirectoryPath(const Text& path, Text* why);
// Deletes a file; folders and missing files are left alone.
void deleteFile(const Text& path);

// The whole content, or empty when the path is empty, missing, a folder or unreadable.
Bytes readWholeFile(const Text& path);
// The same, telling an empty file (true) from one that could not be read (false, with why).
bool readWholeFile(const Text& path, Bytes& out, Text* why);
// Creates or truncates the file and writes the parts in order; true when everything was
// written. The empty path gives false and touches nothing.
bool writeWholeFileParts(const Text& path, std::initializer_list<std::string_view> parts);
template <typename... B>
bool writeWholeFile(const Text& path, const B&... parts) {
  return writeWholeFileParts(path, {std::string_view(parts)...});
}

// Appends data to the file, creating it when missing. On failure the file is cut back to its
// former length, so it never holds part of the data, and why (when given) says what went wrong.
bool appendToFile(const Text& path, std::string_view data, Text* why = nullptr);
// Writes data as a new file through a temporary file renamed into place, so that the file at
// path, once it exists, always holds all of data, even if the process dies half-way.
bool writeFileAtomically(const Text& path, std::string_view data, Text* why = nullptr);

// The size of the file at path in bytes, or -1 when there is none.
long long fileSize(const Text& path);
// Cuts the file at path back to size bytes; false when it cannot.
bool truncateFile(const Text& path, long long size);

// Open modes: 1 reads an existing file, 2 writes an existing file without truncating it.
inline constexpr int kModeRead = 1;
inline constexpr int kModeWrite = 2;
// Others may read and write the file while it is open.
inline constexpr int kShareReadWrite = 1;

// A non-zero file number for the opened file, with its own position at byte 0; 0 on failure
// (empty path, missing file, folder, no access, unknown mode). Numbers may be used from any
// thread; a number stays valid until closeFile.
int openFile(const Text& path, int mode, int share);
// Moves the position to the current end of the file; false for an unknown number.
bool seekToEnd(int file);
// Reads from the position up to the file's length and ends the text at the first character
// that is 0x00 or 0x1A (a second byte of a double-byte character does not count); the position
// then stands on that byte. Empty for an unknown number, an empty file or a read error.
Text readAllText(int file);
// Writes text then CR LF, unbuffered; on failure the position goes back and the result is false.
bool writeLine(int file, const Text& text);
// Forgets the number and closes the file; unknown numbers, 0 included, are ignored.
void closeFile(int file);

}  // namespace ravelkin
