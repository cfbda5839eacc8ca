#include "files/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "text/codepage.h"

namespace ravelkin {
namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(FileDescriptor&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
  FileDescriptor& operator=(FileDescriptor&&) = delete;
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }
  explicit operator bool() const { return fd_ >= 0; }

 private:
  int fd_;
};

// Writes all of data, retrying short writes; false on the first failure.
bool writeAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// Reads up to `limit` bytes (all that remain when limit is npos); false on a read error.
bool readUpTo(int fd, size_t limit, std::string& out) {
  char buf[65536];
  while (out.size() < limit) {
    const size_t want = std::min(sizeof buf, limit - out.size());
    const ssize_t n = ::read(fd, buf, want);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  return true;
}

FileDescriptor openRegular(const Text& path, int flags) {
  if (path.empty()) return FileDescriptor(-1);
  FileDescriptor fd(::open(nativePath(path).c_str(), flags | O_CLOEXEC, 0666));
  struct stat st;
  if (fd && (::fstat(fd.get(), &st) != 0 || S_ISDIR(st.st_mode))) {
    ::close(fd.release());
    errno = EISDIR;
    return FileDescriptor(-1);
  }
  return fd;
}

// The table of open file numbers. A handle is shared so that a number closed on one thread
// cannot pull the descriptor away from an operation running on another.
class FileTable {
 public:
  int add(FileDescriptor fd) {
    std::lock_guard lock(mutex_);
    const int number = next_++;
    files_.emplace(number, std::make_shared<FileDescriptor>(std::move(fd)));
    return number;
  }
  std::shared_ptr<FileDescriptor> find(int number) {
    std::lock_guard lock(mutex_);
    const auto it = files_.find(number);
    return it == files_.end() ? nullptr : it->second;
  }
  void remove(int number) {
    std::shared_ptr<FileDescriptor> gone;  // closed outside the lock
    std::lock_guard lock(mutex_);
    const auto it = files_.find(number);
    if (it == files_.end()) return;
    gone = std::move(it->second);
    files_.erase(it);
  }

 private:
  std::mutex mutex_;
  std::unordered_map<int, std::shared_ptr<FileDescriptor>> files_;
  int next_ = 1;  // 0 never names a file
};

FileTable& table() {
  static FileTable t;
  return t;
}

Text systemError(int code) { return utf8ToText(std::strerror(code)); }

bool statPath(const Text& path, struct stat& st) {
  return !path.empty() && ::stat(nativePath(path).c_str(), &st) == 0;
}

}  // namespace

std::string nativePath(const Text& path) { return textToUtf8(path); }

bool fileExists(const Text& path) {
  struct stat st;
  return statPath(path, st);
}

bool isDirectory(const Text& path) {
  struct stat st;
  return statPath(path, st) && S_ISDIR(st.st_mode);
}

bool ensureDirectoryPath(const Text& path) { return ensureDirectoryPath(path, nullptr); }

bool ensureDirectoryPath(const Text& path, Text* why) {
  if (path.empty()) {
    if (why) *why = systemError(ENOENT);
    return false;
  }
  std::error_code ec;
  std::filesystem::create_directories(nativePath(path), ec);
  if (isDirectory(path)) return true;
  if (why) *why = ec ? utf8ToText(ec.message()) : systemError(ENOTDIR);
  return false;
}

void deleteFile(const Text& path) {
  if (!path.empty()) ::unlink(nativePath(path).c_str());
}

Bytes readWholeFile(const Text& path) {
  Bytes out;
  if (!readWholeFile(path, out, nullptr)) return {};
  return out;
}

bool readWholeFile(const Text& path, Bytes& out, Text* why) {
  out.clear();
  const FileDescriptor fd = openRegular(path, O_RDONLY);
  if (!fd || !readUpTo(fd.get(), std::string::npos, out)) {
    if (why) *why = systemError(path.empty() ? ENOENT : errno);
    out.clear();
    return false;
  }
  return true;
}

bool writeWholeFileParts(const Text& path, std::initializer_list<std::string_view> parts) {
  if (path.empty()) return false;
  FileDescriptor fd(
      ::open(nativePath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (!fd) return false;
  for (const std::string_view part : parts) {
    if (!writeAll(fd.get(), part)) return false;
  }
  // A failed close can mean the data never reached the disk (NFS, quota).
  return ::close(fd.release()) == 0;
}

bool appendToFile(const Text& path, std::string_view data, Text* why) {
  FileDescriptor fd(path.empty() ? -1
                                 : ::open(nativePath(path).c_str(),
                                          O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666));
  struct stat st;
  if (!fd || ::fstat(fd.get(), &st) != 0) {
    if (why) *why = systemError(errno);
    return false;
  }
  if (!writeAll(fd.get(), data)) {
    const int error = errno;
    // Never leave half of the data behind: a later retry would append it again.
    if (::ftruncate(fd.get(), st.st_size) != 0) {
      // Nothing more can be done; the reason below still stands.
    }
    if (why) *why = systemError(error);
    return false;
  }
  return true;
}

bool writeFileAtomically(const Text& path, std::string_view data, Text* why) {
  const Text temporary = path + ".part";
  FileDescriptor fd(path.empty() ? -1
                                 : ::open(nativePath(temporary).c_str(),
                                          O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  // The rename is what makes the file whole or absent should the process die; no fsync, as a
  // power cut is not what this guards against and a run writes thousands of these.
  bool ok = static_cast<bool>(fd) && writeAll(fd.get(), data);
  int error = errno;
  if (fd && ::close(fd.release()) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok && ::rename(nativePath(temporary).c_str(), nativePath(path).c_str()) != 0) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    ::unlink(nativePath(temporary).c_str());
    if (why) *why = systemError(error);
  }
  return ok;
}

long long fileSize(const Text& path) {
  struct stat st;
  return statPath(path, st) && !S_ISDIR(st.st_mode) ? static_cast<long long>(st.st_size) : -1;
}

bool truncateFile(const Text& path, long long size) {
  return !path.empty() && ::truncate(nativePath(path).c_str(), static_cast<off_t>(size)) == 0;
}

int openFile(const Text& path, int mode, int /*share: POSIX has no share modes*/) {
  int flags;
  if (mode == kModeRead) {
    flags = O_RDONLY;
  } else if (mode == kModeWrite) {
    flags = O_WRONLY;
  } else {
    return 0;
  }
  FileDescriptor fd = openRegular(path, flags);
  return fd ? table().add(std::move(fd)) : 0;
}

bool seekToEnd(int file) {
  const auto fd = table().find(file);
  return fd && ::lseek(fd->get(), 0, SEEK_END) >= 0;
}

Text readAllText(int file) {
  const auto fd = table().find(file);
  if (!fd) return {};
  struct stat st;
  if (::fstat(fd->get(), &st) != 0 || st.st_size == 0) return {};
  const off_t before = ::lseek(fd->get(), 0, SEEK_CUR);
  std::string bytes;
  if (before < 0 || !readUpTo(fd->get(), static_cast<size_t>(st.st_size), bytes)) {
    ::lseek(fd->get(), 0, SEEK_END);
    return {};
  }
  size_t end = 0;
  while (end < bytes.size()) {
    const unsigned char c = static_cast<unsigned char>(bytes[end]);
    if (c == 0x00 || c == 0x1A) break;
    if (c >= 0x80 && end + 1 < bytes.size()) {
      if (bytes[end + 1] == '\0') break;  // a character with a zero second byte ends the text
      end += 2;
    } else {
      end += 1;
    }
  }
  if (end < bytes.size()) ::lseek(fd->get(), before + static_cast<off_t>(end), SEEK_SET);
  bytes.resize(end);
  return bytes;
}

bool writeLine(int file, const Text& text) {
  const auto fd = table().find(file);
  if (!fd) return false;
  const off_t before = ::lseek(fd->get(), 0, SEEK_CUR);
  // One write call for the whole line, so a reader never sees the text without its line end.
  std::string line;
  line.reserve(text.size() + 2);
  line += text;
  line += "\r\n";
  if (!writeAll(fd->get(), line)) {
    if (before >= 0) ::lseek(fd->get(), before, SEEK_SET);
    return false;
  }
  return true;
}

void closeFile(int file) { table().remove(file); }

}  // namespace ravelkin
