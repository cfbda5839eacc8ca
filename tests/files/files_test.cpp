#include "files/files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "support/literals.h"

namespace ravelkin {
namespace {

using test::bytes;
using test::gbk;

class Files : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/ravelkin-files-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    dir_ = root_ + "/";
  }
  void TearDown() override { std::filesystem::remove_all(root_); }

  Text path(const Text& name) const { return dir_ + name; }
  std::string onDisk(const Text& name) const {
    std::ifstream in(nativePath(path(name)), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  void put(const Text& name, const std::string& content) const {
    std::ofstream(nativePath(path(name)), std::ios::binary) << content;
  }

  std::string root_;
  Text dir_;
};

TEST_F(Files, ExistenceAndFolders) {
  put("f", "x");
  EXPECT_TRUE(fileExists(path("f")));
  EXPECT_TRUE(fileExists(dir_));
  EXPECT_FALSE(fileExists(path("missing")));
  EXPECT_FALSE(fileExists(""));
  EXPECT_TRUE(isDirectory(dir_));
  EXPECT_TRUE(isDirectory(root_));
  EXPECT_FALSE(isDirectory(path("f")));
  EXPECT_FALSE(isDirectory(""));

  const Text deep = path(gbk("自建规则TXT/书名/三/"));
  EXPECT_TRUE(ensureDirectoryPath(deep));
  EXPECT_TRUE(isDirectory(deep));
  EXPECT_TRUE(std::filesystem::is_directory(root_ + "/自建规则TXT/书名/三"));  // UTF-8 on disk
  EXPECT_TRUE(ensureDirectoryPath(deep));
  EXPECT_TRUE(ensureDirectoryPath(path("no/slash")));
  EXPECT_TRUE(isDirectory(path("no/slash")));
  EXPECT_FALSE(ensureDirectoryPath(path("f/sub/")));  // a file stands in the way
  EXPECT_FALSE(ensureDirectoryPath(""));
}

TEST_F(Files, DeleteLeavesFoldersAlone) {
  put("f", "x");
  deleteFile(path("f"));
  EXPECT_FALSE(fileExists(path("f")));
  deleteFile(path("f"));  // missing: nothing happens
  ensureDirectoryPath(path("d/"));
  deleteFile(path("d"));
  EXPECT_TRUE(isDirectory(path("d")));
}

TEST_F(Files, WholeFileReadsAndWrites) {
  EXPECT_TRUE(writeWholeFile(path("w"), bytes("a\0b")));
  EXPECT_EQ(onDisk("w"), bytes("a\0b"));
  EXPECT_EQ(readWholeFile(path("w")), bytes("a\0b"));
  EXPECT_TRUE(writeWholeFile(path("w"), Bytes()));  // truncates
  EXPECT_EQ(onDisk("w"), "");
  EXPECT_TRUE(writeWholeFile(path("new"), Bytes()));  // creates
  EXPECT_TRUE(fileExists(path("new")));
  EXPECT_TRUE(writeWholeFile(path("parts"), Bytes("ab"), Bytes(), Bytes("cd")));
  EXPECT_EQ(onDisk("parts"), "abcd");
  EXPECT_FALSE(writeWholeFile("", Bytes("x")));
  EXPECT_FALSE(writeWholeFile(path("nodir/x"), Bytes("x")));

  EXPECT_EQ(readWholeFile(path("missing")), "");
  EXPECT_EQ(readWholeFile(""), "");
  EXPECT_EQ(readWholeFile(dir_), "");
}

TEST_F(Files, NumberedFilesAppendLines) {
  EXPECT_EQ(openFile(path("missing"), kModeWrite, kShareReadWrite), 0);
  EXPECT_EQ(openFile("", kModeRead, kShareReadWrite), 0);
  EXPECT_EQ(openFile(dir_, kModeRead, kShareReadWrite), 0);
  EXPECT_FALSE(seekToEnd(0));
  EXPECT_FALSE(writeLine(0, "x"));
  closeFile(0);

  put("book", "x");
  const int f = openFile(path("book"), kModeWrite, kShareReadWrite);
  ASSERT_NE(f, 0);
  EXPECT_TRUE(seekToEnd(f));
  EXPECT_TRUE(writeLine(f, "ab"));
  EXPECT_EQ(onDisk("book"), "xab\r\n");  // unbuffered: visible before the close
  EXPECT_TRUE(writeLine(f, ""));
  EXPECT_EQ(onDisk("book"), "xab\r\n\r\n");
  closeFile(f);
  closeFile(f);  // the second close does nothing
  EXPECT_FALSE(writeLine(f, "late"));

  // Without seekToEnd a write mode file is overwritten from its start, not truncated.
  const int g = openFile(path("book"), kModeWrite, kShareReadWrite);
  EXPECT_TRUE(writeLine(g, "Z"));
  closeFile(g);
  EXPECT_EQ(onDisk("book"), "Z\r\n\r\n\r\n");
}

TEST_F(Files, TwoOpensOnOneFileEachAppendAfterTheOther) {
  put("f", "");
  const int a = openFile(path("f"), kModeWrite, kShareReadWrite);
  const int b = openFile(path("f"), kModeWrite, kShareReadWrite);
  ASSERT_NE(a, 0);
  ASSERT_NE(b, 0);
  EXPECT_NE(a, b);
  seekToEnd(a);
  writeLine(a, "1");
  seekToEnd(b);
  writeLine(b, "2");
  seekToEnd(a);
  writeLine(a, "3");
  closeFile(a);
  closeFile(b);
  EXPECT_EQ(onDisk("f"), "1\r\n2\r\n3\r\n");
}

TEST_F(Files, ReadAllTextStopsAtEndMarks) {
  struct Case {
    std::string content, want;
  } cases[] = {
      {"ab\x1A"
       "c",
       "ab"},
      {"a\x81\x1A"
       "b",
       "a\x81\x1A"
       "b"},  // 0x1A as a second byte does not end the text
      {bytes("a\0b"), "a"},
      {bytes("a\x81\0b"), "a"},  // a character with a zero second byte ends it
      {"", ""},
      {"plain\r\n", "plain\r\n"},
  };
  for (const Case& c : cases) {
    put("r", c.content);
    const int f = openFile(path("r"), kModeRead, kShareReadWrite);
    ASSERT_NE(f, 0);
    EXPECT_EQ(readAllText(f), c.want) << c.content;
    closeFile(f);
  }
  EXPECT_EQ(readAllText(0), "");

  // The position stops on the byte that ended the text, so the rest can still be read.
  put("r",
      "ab\x1A"
      "cd");
  const int f = openFile(path("r"), kModeRead, kShareReadWrite);
  EXPECT_EQ(readAllText(f), "ab");
  EXPECT_EQ(readAllText(f), "");  // stands on the 0x1A
  closeFile(f);
}

TEST_F(Files, NumbersAreSafeAcrossThreads) {
  put("shared", "");
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 50; ++i) {
        const int f = openFile(path("shared"), kModeWrite, kShareReadWrite);
        ASSERT_NE(f, 0);
        writeLine(f, "");  // two bytes at the start, from every thread
        closeFile(f);
        closeFile(f);
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(onDisk("shared"), "\r\n");
}

}  // namespace
}  // namespace ravelkin
