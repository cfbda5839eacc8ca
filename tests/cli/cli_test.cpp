// ravelkin-cli run as a user runs it, against sites on 127.0.0.1.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>

#include "rules/rulefile.h"
#include "support/literals.h"
#include "support/novel_site.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace ravelkin {
namespace {

using test::gbk;
using test::NovelSite;
using test::ProcessResult;
using test::readFile;
using test::runProcess;
using test::TempDir;
using test::writeFile;
namespace fs = std::filesystem;

class Cli : public ::testing::Test {
 protected:
  std::vector<std::string> ruleOptions(const NovelSite& site, const std::string& name = "书") {
    return {"--url",    site.catalogueUrl(),    "--pattern", NovelSite::pattern(),
            "--prefix", site.prefix(),          "--start",   NovelSite::startMarker(),
            "--end",    NovelSite::endMarker(), "--name",    name};
  }
  ProcessResult cli(const std::string& command, std::vector<std::string> args,
                    const std::function<bool(pid_t)>& during = {}) {
    args.insert(args.begin(), {RAVELKIN_CLI, command});
    return runProcess(args, dir_.path(), during);
  }
  std::string book() const { return dir_ / "自建规则TXT/书/书.txt"; }

  TempDir dir_;
};

TEST_F(Cli, ChaptersListsTheRows) {
  NovelSite site(2, NovelSite::Charset::Utf8);
  const ProcessResult r = cli("chapters", ruleOptions(site));
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "1\t" + NovelSite::title(1) + "\t" + site.prefix() + "/c/1.html\n2\t" +
                       NovelSite::title(2) + "\t" + site.prefix() + "/c/2.html\n");
}

TEST_F(Cli, DownloadWritesTheBookAndPrintsItsPath) {
  NovelSite site(3);
  const ProcessResult r = cli("download", ruleOptions(site));
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "自建规则TXT/书/书.txt\n");
  EXPECT_NE(r.err.find("采集完毕！"), std::string::npos);
  EXPECT_EQ(readFile(book()), NovelSite::bookFor(3));
}

TEST_F(Cli, RuleFileWithOverridesAndExport) {
  NovelSite site(2);
  RuleSet rules{gbk("http://127.0.0.1:1/wrong"), gbk(site.prefix()), gbk(NovelSite::startMarker()),
                gbk(NovelSite::pattern()),       gbk("书"),          gbk(NovelSite::endMarker())};
  writeFile(dir_ / "rules.zjp", encodeRuleFile(rules));

  ProcessResult r = cli("download", {"--url", site.catalogueUrl(), "rules.zjp"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(readFile(book()), NovelSite::bookFor(2));

  r = cli("export", {"--name", "新书", "--output-root", "规则", "rules.zjp"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "规则/新书.zjp\n");
  rules.novelName = gbk("新书");
  EXPECT_EQ(readFile(dir_ / "规则/新书.zjp"), encodeRuleFile(rules));
}

TEST_F(Cli, FailedChaptersExitOneAndMergeAnywayAssembles) {
  NovelSite site(3);
  site.hook = [](int chapter, int, httplib::Response& res) {
    if (chapter != 2) return false;
    res.status = 404;
    return true;
  };
  ProcessResult r = cli("download", ruleOptions(site));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("第 2 章《" + NovelSite::title(2) + "》下载失败：HTTP 404"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("有 1 章下载失败"), std::string::npos);
  EXPECT_FALSE(fs::exists(book()));

  r = cli("download", [&] {
    auto args = ruleOptions(site);
    args.push_back("--merge-anyway");
    return args;
  }());
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(readFile(book()), NovelSite::bookFor(3, 2));
}

TEST_F(Cli, ErrorsAndTheirExitCodes) {
  NovelSite site(1);
  auto options = ruleOptions(site);
  options[1] = site.prefix() + "/nothing-here";
  ProcessResult r = cli("download", options);
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_NE(r.err.find("目录页下载失败：HTTP 404"), std::string::npos) << r.err;

  writeFile(dir_ / "bad.zjp", "only\r\nthree\r\nlines");
  r = cli("download", {"bad.zjp"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("请用最新版本软件！"), std::string::npos);

  r = cli("download", {"--no-such-option"});
  EXPECT_EQ(r.exitCode, 2);
  r = cli("download", {"--url"});
  EXPECT_EQ(r.exitCode, 2);

  r = cli("download", ruleOptions(site, ""));
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("请输入小说名称！"), std::string::npos);

  for (const std::string command : {"chapters", "download", "export"}) {
    r = cli(command, {"--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("ravelkin-cli " + command), std::string::npos);
  }
}

TEST_F(Cli, InterruptedRunResumesIntoTheSameBook) {
  NovelSite site(15);
  site.delay = std::chrono::milliseconds(150);
  const std::string chapterTwo = dir_ / "自建规则TXT/书/2.txt";
  ProcessResult r = cli("download", ruleOptions(site), [&](pid_t pid) {
    if (!fs::exists(chapterTwo)) return true;
    kill(pid, SIGINT);
    return false;
  });
  EXPECT_EQ(r.exitCode, 130) << r.err;
  EXPECT_FALSE(fs::exists(book()));

  r = cli("download", ruleOptions(site));
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(readFile(book()), NovelSite::bookFor(15));
}

}  // namespace
}  // namespace ravelkin
