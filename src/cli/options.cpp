#include "cli/options.h"

#include "text/codepage.h"

namespace ravelkin::cli {

std::optional<Options> parseOptions(const std::vector<std::string>& args, std::string& error) {
  Options o;
  if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    o.command = Command::Help;
    return o;
  }
  if (args[0] == "chapters") {
    o.command = Command::Chapters;
  } else if (args[0] == "download") {
    o.command = Command::Download;
  } else if (args[0] == "export") {
    o.command = Command::Export;
  } else {
    error = "未知的命令：" + args[0];
    return std::nullopt;
  }
  struct Valued {
    const char* flag;
    std::optional<std::string> Options::*field;
  };
  const Valued valued[] = {{"--url", &Options::url},
                           {"--pattern", &Options::pattern},
                           {"--prefix", &Options::prefix},
                           {"--start", &Options::start},
                           {"--end", &Options::end},
                           {"--name", &Options::name},
                           {"--output-root", &Options::outputRoot}};
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      o.help = true;
      continue;
    }
    if (a == "--merge-anyway" && o.command == Command::Download) {
      o.mergeAnyway = true;
      continue;
    }
    bool matched = false;
    for (const Valued& v : valued) {
      const std::string flag = v.flag;
      if (flag == "--output-root" && o.command == Command::Chapters) continue;
      if (a == flag) {
        if (i + 1 >= args.size()) {
          error = flag + " 需要一个值";
          return std::nullopt;
        }
        o.*v.field = args[++i];
        matched = true;
      } else if (a.rfind(flag + "=", 0) == 0) {
        o.*v.field = a.substr(flag.size() + 1);
        matched = true;
      }
      if (matched) break;
    }
    if (matched) continue;
    if (a.rfind("--", 0) == 0 && a.size() > 2) {
      error = "未知的选项：" + a;
      return std::nullopt;
    }
    if (o.ruleFile) {
      error = "只能给出一个规则文件";
      return std::nullopt;
    }
    o.ruleFile = a;
  }
  return o;
}

std::string usage(Command command) {
  const std::string rules =
      "规则选项（覆盖规则文件中的对应字段）：\n"
      "  --url URL          目录页网址\n"
      "  --pattern REGEX    章节正则表达式（两个分组：链接与标题，顺序不限）\n"
      "  --prefix PREFIX    章节链接前要加的网址\n"
      "  --start MARKER     正文开始标记\n"
      "  --end MARKER       正文结束标记\n"
      "  --name NAME        小说名称\n";
  switch (command) {
    case Command::Chapters:
      return "用法：ravelkin-cli chapters [规则选项] [规则文件.zjp]\n"
             "列出目录页中的章节：每行为 序号<TAB>章节名称<TAB>URL。\n\n" +
             rules;
    case Command::Download:
      return "用法：ravelkin-cli download [规则选项] [--output-root 目录] [--merge-anyway] "
             "[规则文件.zjp]\n"
             "下载全部章节并合并为一本书：<输出目录>/<小说名称>/<小说名称>.txt（GBK）。\n"
             "已下载的章节会被跳过；有章节失败时不合并，再次运行只重新下载失败的章节。\n\n" +
             rules +
             "  --output-root DIR  输出目录（默认为当前目录下的 自建规则TXT/）\n"
             "  --merge-anyway     有章节失败时仍然合并（失败的章节只保留标题）\n\n"
             "退出码：0 成功；1 有章节失败，书籍未合并；2 用法或规则文件错误；"
             "3 目录页失败；130 被中断。\n";
    case Command::Export:
      return "用法：ravelkin-cli export [规则选项] [--output-root 目录] [规则文件.zjp]\n"
             "把规则写入 <输出目录>/<小说名称>.zjp，并打印其路径。\n\n" +
             rules + "  --output-root DIR  输出目录（默认为当前目录下的 自建规则TXT/）\n";
    case Command::Help:
      break;
  }
  return "Ravelkin 命令行：按规则下载网络小说并合并为一个 GBK 文本文件。\n\n"
         "  ravelkin-cli chapters [规则选项] [规则文件.zjp]\n"
         "  ravelkin-cli download [规则选项] [--output-root 目录] [--merge-anyway] "
         "[规则文件.zjp]\n"
         "  ravelkin-cli export   [规则选项] [--output-root 目录] [规则文件.zjp]\n\n"
         "每个命令都可加 --help 查看说明。\n";
}

RuleSet applyRuleOptions(const Options& o, const RuleSet& fromFile) {
  RuleSet r = fromFile;
  auto apply = [](const std::optional<std::string>& option, Text& field) {
    if (option) field = utf8ToText(*option);
  };
  apply(o.url, r.catalogueUrl);
  apply(o.pattern, r.chapterPattern);
  apply(o.prefix, r.urlPrefix);
  apply(o.start, r.startMarker);
  apply(o.end, r.endMarker);
  apply(o.name, r.novelName);
  return r;
}

}  // namespace ravelkin::cli
