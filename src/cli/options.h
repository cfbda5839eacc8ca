// The command line of ravelkin-cli, parsed.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "rules/rulefile.h"

namespace ravelkin::cli {

enum class Command { Chapters, Download, Export, Help };

struct Options {
  Command command = Command::Help;
  bool help = false;  // --help after a command
  std::optional<std::string> ruleFile;
  // Rule options as given (UTF-8); each overrides the rule file's field.
  std::optional<std::string> url, pattern, prefix, start, end, name;
  std::optional<std::string> outputRoot;
  bool mergeAnyway = false;
};

// Parses argv; on a usage error returns nothing and sets error (UTF-8).
std::optional<Options> parseOptions(const std::vector<std::string>& args, std::string& error);

// The usage text of a command, or of the tool as a whole for Command::Help (UTF-8).
std::string usage(Command command);

// The rules the options give: the rule file's fields (when one is named) overridden by the rule
// options, converted from UTF-8 to the system's text.
RuleSet applyRuleOptions(const Options& options, const RuleSet& fromFile);

}  // namespace ravelkin::cli
