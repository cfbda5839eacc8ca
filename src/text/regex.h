// Regular expressions over the system's text, on PCRE2 in UTF mode: the engine sees
// characters, never bytes, so a double-byte character is one character for '.', for negated
// classes and for counted repeats, and every match comes back as whole characters.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "text/text.h"

namespace ravelkin {

// Why a pattern did not compile or a run did not finish. offset is the 0-based character
// offset in the pattern where compiling stopped, -1 when it does not apply.
struct RegexError {
  std::string message;  // UTF-8, from the engine
  int offset = -1;
};

// A compiled pattern over UTF-8. Case-insensitive unless asked; '.' never matches a line feed;
// \s \w \d stay ASCII; a bad escape is taken literally. Runs are bounded by a match limit so a
// catastrophic pattern fails instead of hanging. Safe to use from several threads at once.
class Regex {
 public:
  enum class Case { Insensitive, Sensitive };
  enum class Lines { Multi, Single };
  // Utf8: the pattern and subjects are UTF-8 and the engine sees characters. Bytes: the engine
  // sees bytes; for patterns whose every literal is ASCII, run over text whose double-byte
  // characters can never be mistaken for them.
  enum class Units { Utf8, Bytes };
  // Start: the pattern only ever matches where a search starts (for matchAt, which is then fast).
  enum class Anchor { Anywhere, Start };

  // A pattern that does not compile gives an object whose ok() is false and error() says why.
  Regex(std::string_view pattern, Case c = Case::Insensitive, Lines l = Lines::Multi,
        Units u = Units::Utf8, Anchor a = Anchor::Anywhere);

  // The length of a match that starts exactly at offset, or npos when there is none there.
  size_t matchAt(std::string_view subject, size_t offset) const;
  ~Regex();
  Regex(Regex&&) noexcept;
  Regex& operator=(Regex&&) noexcept;

  bool ok() const { return code_ != nullptr; }
  const RegexError& error() const { return error_; }
  int captureCount() const { return captures_; }

  // Offsets (byte offsets into the UTF-8 subject) of every match, each as 2 * (captures + 1)
  // values: whole match first, then each group; an unset group holds npos twice. After an empty
  // match the search goes on one character further. `global` false stops after the first.
  // False when the run failed (match limit, resources): then `out` is empty and `err` says why.
  bool matchAll(std::string_view subject, bool global, std::vector<size_t>& out,
                RegexError* err = nullptr) const;

 private:
  struct Code;
  std::unique_ptr<Code> code_;
  RegexError error_;
  int captures_ = 0;
  bool utf_ = true;
};

// One pattern run over one subject, then queried; matches and groups are 1-based. Failures are
// quiet: an invalid pattern or a run over the match limit leaves no matches, and every query
// then gives 0 or the empty Text. error() tells the caller why when it wants to say so.
class RegexSession {
 public:
  RegexSession();
  ~RegexSession();
  RegexSession(const RegexSession&) = delete;
  RegexSession& operator=(const RegexSession&) = delete;

  // Compiles pattern (with every "#引号" replaced by a double quote when quoteEscape is true)
  // and collects the matches in subject: all of them when global is true, else the first.
  // True when the run completed, with or without matches.
  bool execute(const Text& pattern, const Text& subject, bool caseSensitive = false,
               bool multiline = true, bool global = true, bool quoteEscape = false);

  // The pattern of the last execute; empty before the first.
  Text patternText() const;
  // The last subject with every collected match replaced (literally); empty when the last
  // execute failed or there was none.
  Text replaceMatches(const Text& replacement = {}) const;
  int matchCount() const;
  // The text of match i; empty when i is out of range.
  Text matchText(int i) const;
  // The text of group j of match i; empty when out of range or when the group took no part.
  Text groupText(int i, int j) const;
  // Number of groups of the first match; 0 when there is no match.
  int groupCount() const;

  const RegexError& error() const { return error_; }
  // "message (offset N)" in the system's text, or empty after a successful run.
  Text errorText() const;

 private:
  Text slice(size_t begin, size_t end) const;

  std::unique_ptr<Regex> engine_;
  bool ran_ = false;
  Text pattern_;
  std::string subject_;  // UTF-8
  std::vector<size_t> offsets_;
  RegexError error_;
};

}  // namespace ravelkin
