// ravelkin-cli run as a user runs it, against sites on 127.0.0.1.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
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

TEST_F(Cli, KilledRunResumesIntoTheSameBook) {
  NovelSite site(20);
  site.delay = std::chrono::milliseconds(100);
  const std::string chapterThree = dir_ / "自建规则TXT/书/3.txt";
  ProcessResult r = cli("download", ruleOptions(site), [&](pid_t pid) {
    if (!fs::exists(chapterThree)) return true;
    kill(pid, SIGKILL);
    return false;
  });
  EXPECT_EQ(r.exitCode, 128 + SIGKILL);

  r = cli("download", ruleOptions(site));
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(readFile(book()), NovelSite::bookFor(20));
  for (const auto& entry : fs::directory_iterator(dir_ / "自建规则TXT/书")) {
    EXPECT_EQ(entry.path().filename(), "书.txt");  // nothing half-written left behind
  }
}

TEST_F(Cli, OutputRootThatTakesNoWrites) {
  NovelSite site(2);
  auto options = ruleOptions(site);
  options.insert(options.end(), {"--output-root", "/proc/self"});
  const ProcessResult r = cli("download", options);
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("无法创建输出文件夹：/proc/self/书/："), std::string::npos) << r.err;
}

TEST_F(Cli, HostileRuleFilesGiveAnErrorOrABoundedRun) {
  NovelSite site(2);
  // Binary junk is no rule file.
  std::string junk;
  for (int i = 0; i < 4096; ++i) junk += static_cast<char>((i * 131 + 7) % 256);
  writeFile(dir_ / "junk.zjp", junk);
  ProcessResult r = cli("chapters", {"junk.zjp"});
  EXPECT_EQ(r.exitCode, 2);

  // A huge pattern and a catastrophic one end with a reason, not a crash or a hang.
  RuleSet rules{gbk(site.catalogueUrl()),
                gbk(site.prefix()),
                gbk(NovelSite::startMarker()),
                std::string(8 * 1024 * 1024, 'a') + "(",
                gbk("书"),
                gbk(NovelSite::endMarker())};
  writeFile(dir_ / "huge.zjp", encodeRuleFile(rules));
  r = cli("chapters", {"huge.zjp"});
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_NE(r.err.find("章节正则表达式有误："), std::string::npos);

  r = cli("chapters", {"--url", site.catalogueUrl(), "--pattern", "(.*a){20}(.*)+\\d$"});
  EXPECT_NE(r.exitCode, 0);
  EXPECT_FALSE(r.err.empty());

  // Names that look like paths or carry control bytes stay one folder inside the root.
  for (const std::string name : {"../../../escape", "a/../../b", "..", "\x01\x02"}) {
    rules = {gbk(site.catalogueUrl()),
             gbk(site.prefix()),
             gbk(NovelSite::startMarker()),
             gbk(NovelSite::pattern()),
             name,
             gbk(NovelSite::endMarker())};
    writeFile(dir_ / "path.zjp", encodeRuleFile(rules));
    r = cli("download", {"--output-root", "root", "path.zjp"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
  }
  // Only the files this test wrote, and the output root, stand beside each other.
  std::vector<std::string> top;
  for (const auto& entry : fs::directory_iterator(dir_.path())) {
    top.push_back(entry.path().filename());
  }
  std::sort(top.begin(), top.end());
  EXPECT_EQ(top, (std::vector<std::string>{"huge.zjp", "junk.zjp", "path.zjp", "root"}));
  for (const auto& entry : fs::directory_iterator(dir_ / "root")) {
    EXPECT_TRUE(entry.is_directory()) << entry.path();
  }
}

}  // namespace
}  // namespace ravelkin
