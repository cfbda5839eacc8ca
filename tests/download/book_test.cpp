#include "download/book.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/literals.h"
#include "support/temp_dir.h"

namespace ravelkin {
namespace {

using test::gbk;
using test::readFile;
using test::TempDir;
using test::writeFile;
namespace fs = std::filesystem;

TEST(SafeNovelName, NeverNamesAPathOutsideItsFolder) {
  struct Case {
    Text name, want;
  } cases[] = {
      {gbk("道德经"), gbk("道德经")},
      {"../../.bashrc", ".._.._.bashrc"},
      {"a/b\\c", "a_b_c"},
      {".", "_"},
      {"..", "__"},
      {"tab\there\x7F", "tab_here_"},
      // 0x5C is the second byte of this character, not a backslash.
      {"\x81\x5C", "\x81\x5C"},
  };
  for (const Case& c : cases) EXPECT_EQ(safeNovelName(c.name), c.want) << c.name;
}

class Book : public ::testing::Test {
 protected:
  TempDir dir_;
  BookPaths paths{dir_.path() + "/", gbk("书")};
  std::string folder() const { return dir_ / "书"; }
  std::string chapter(int row) const { return folder() + "/" + std::to_string(row) + ".txt"; }
  std::string book() const { return folder() + "/书.txt"; }
};

TEST_F(Book, ChapterFilesAppendRecords) {
  Text why;
  ASSERT_TRUE(appendChapterFile(paths, 0, "T\r\nbody", &why)) << why;
  EXPECT_EQ(readFile(chapter(0)), "T\r\nbody\r\n");
  ASSERT_TRUE(appendChapterFile(paths, 0, "U\r\n", &why));
  EXPECT_EQ(readFile(chapter(0)), "T\r\nbody\r\nU\r\n\r\n");
  EXPECT_FALSE(fs::exists(chapter(0) + ".part"));

  fs::remove_all(folder());
  writeFile(folder(), "a file where the folder should be");
  EXPECT_FALSE(appendChapterFile(paths, 1, "T\r\n", &why));
  EXPECT_FALSE(why.empty());
}

TEST_F(Book, AssemblyInRowOrder) {
  fs::create_directories(folder());
  writeFile(chapter(0), "A\r\na\r\n");
  // row 1 has no chapter file: a lone line end
  writeFile(chapter(2),
            "C\r\nc\x1A"
            "cc\r\nC2\r\n\r\n");  // two records, and a 0x1A byte
  writeFile(chapter(3), "beyond the count\r\n");
  writeFile(book(), "old");

  const AssemblyResult r = assembleBook(paths, 3);
  EXPECT_TRUE(r.error.empty()) << r.error;
  EXPECT_EQ(r.merged, 3);
  EXPECT_EQ(readFile(book()),
            "oldA\r\na\r\n\r\n\r\nC\r\nc\x1A"
            "cc\r\nC2\r\n\r\n\r\n");
  EXPECT_FALSE(fs::exists(chapter(0)));
  EXPECT_FALSE(fs::exists(chapter(1)));
  EXPECT_FALSE(fs::exists(chapter(2)));
  EXPECT_TRUE(fs::exists(chapter(3)));
}

TEST_F(Book, NothingForNoRows) {
  EXPECT_TRUE(assembleBook(paths, 0).error.empty());
  EXPECT_FALSE(fs::exists(folder()));
}

TEST_F(Book, UnwritableBookKeepsTheChapters) {
  fs::create_directories(book());  // a folder where the book should be
  writeFile(chapter(0), "A\r\n");
  writeFile(chapter(1), "B\r\n");
  const AssemblyResult r = assembleBook(paths, 2);
  EXPECT_EQ(r.merged, 0);
  EXPECT_EQ(r.error.rfind(gbk("书籍合并失败："), 0), 0u);
  EXPECT_TRUE(fs::exists(chapter(0)));
  EXPECT_TRUE(fs::exists(chapter(1)));
}

TEST_F(Book, AssemblyIsAllOrNothing) {
  fs::create_directories(folder());
  writeFile(book(), "old");
  writeFile(chapter(0), "A\r\n");
  fs::create_directories(chapter(1));  // unreadable: a folder in the chapter's place
  writeFile(chapter(2), "C\r\n");
  const AssemblyResult r = assembleBook(paths, 3);
  EXPECT_FALSE(r.error.empty());
  EXPECT_EQ(readFile(book()), "old");  // chapter 0 was appended, then taken back out
  EXPECT_TRUE(fs::exists(chapter(0)));
  EXPECT_TRUE(fs::exists(chapter(2)));
  EXPECT_FALSE(fs::exists(folder() + "/.assembling"));
}

TEST_F(Book, InterruptedAssemblyIsUndoneOrFinished) {
  fs::create_directories(folder());
  // Killed while appending: the book is cut back, every chapter file stays.
  writeFile(book(),
            "old"
            "A\r\n\r\nB");
  writeFile(folder() + "/.assembling", "append 3 2\n");
  writeFile(chapter(0), "A\r\n");
  writeFile(chapter(1), "B\r\n");
  finishAssembly(paths);
  EXPECT_EQ(readFile(book()), "old");
  EXPECT_TRUE(fs::exists(chapter(0)));
  EXPECT_TRUE(fs::exists(chapter(1)));
  EXPECT_FALSE(fs::exists(folder() + "/.assembling"));

  // Killed while deleting: the book is whole, the remaining chapter files go.
  writeFile(book(),
            "old"
            "A\r\n\r\nB\r\n\r\n");
  writeFile(folder() + "/.assembling", "delete 0 2\n");
  fs::remove(chapter(0));
  finishAssembly(paths);
  EXPECT_EQ(readFile(book()),
            "old"
            "A\r\n\r\nB\r\n\r\n");
  EXPECT_FALSE(fs::exists(chapter(1)));
  EXPECT_FALSE(fs::exists(folder() + "/.assembling"));
}

}  // namespace
}  // namespace ravelkin
