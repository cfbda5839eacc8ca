#include "text/regex.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include "text/codepage.h"

namespace ravelkin {
namespace {

// "#引号" in code page 936.
constexpr char kQuoteEscape[] = "#\xD2\xFD\xBA\xC5";

// A run over this many internal steps is taken for a runaway pattern and abandoned.
constexpr uint32_t kMatchLimit = 20'000'000;
constexpr size_t kJitStackMax = 64 * 1024 * 1024;

// Every thread that matches keeps one match context with a large JIT stack, reused by all its
// patterns, so deep but legitimate patterns do not fail on the JIT's small default stack.
struct ThreadMatchContext {
  pcre2_jit_stack* stack = pcre2_jit_stack_create(32 * 1024, kJitStackMax, nullptr);
  pcre2_match_context* context = pcre2_match_context_create(nullptr);
  ThreadMatchContext() {
    if (stack && context) pcre2_jit_stack_assign(context, nullptr, stack);
    if (context) pcre2_set_match_limit(context, kMatchLimit);
  }
  ~ThreadMatchContext() {
    pcre2_match_context_free(context);
    pcre2_jit_stack_free(stack);
  }
  ThreadMatchContext(const ThreadMatchContext&) = delete;
  ThreadMatchContext& operator=(const ThreadMatchContext&) = delete;
};

pcre2_match_context* threadMatchContext() {
  thread_local ThreadMatchContext ctx;
  return ctx.context;
}

std::string engineMessage(int code) {
  PCRE2_UCHAR buf[256];
  const int n = pcre2_get_error_message(code, buf, sizeof buf);
  return n < 0 ? "unknown error " + std::to_string(code)
               : std::string(reinterpret_cast<char*>(buf));
}

size_t utf8CharLength(unsigned char c) {
  if (c < 0xC0) return 1;
  if (c < 0xE0) return 2;
  if (c < 0xF0) return 3;
  return 4;
}

int utf8CharCount(std::string_view s) {
  int n = 0;
  for (const char c : s) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  }
  return n;
}

// The subject with each whole match (every `stride` offsets) replaced by `replacement`.
std::string spliceMatches(std::string_view subject, const std::vector<size_t>& offsets,
                          size_t stride, std::string_view replacement) {
  std::string out;
  out.reserve(subject.size());
  size_t copied = 0;
  for (size_t m = 0; m < offsets.size(); m += stride) {
    const size_t start = std::max(offsets[m], copied);
    out.append(subject.substr(copied, start - copied));
    out.append(replacement);
    copied = std::max(offsets[m + 1], start);
  }
  out.append(subject.substr(copied));
  return out;
}

struct MatchData {
  explicit MatchData(const pcre2_code* code)
      : data(pcre2_match_data_create_from_pattern(code, nullptr)) {}
  explicit MatchData(uint32_t pairs) : data(pcre2_match_data_create(pairs, nullptr)) {}
  ~MatchData() { pcre2_match_data_free(data); }
  MatchData(const MatchData&) = delete;
  MatchData& operator=(const MatchData&) = delete;
  pcre2_match_data* data;
};

}  // namespace

struct Regex::Code {
  explicit Code(pcre2_code* c) : code(c) {}
  ~Code() { pcre2_code_free(code); }
  Code(const Code&) = delete;
  Code& operator=(const Code&) = delete;
  pcre2_code* code;
};

Regex::Regex(std::string_view utf8Pattern, Case c, Lines l, Units u, Anchor a)
    : utf_(u == Units::Utf8) {
  if (utf_ && !isValidUtf8(utf8Pattern)) {
    error_ = {"pattern is not valid text", -1};
    return;
  }
  uint32_t options =
      PCRE2_ALT_BSUX | PCRE2_MATCH_UNSET_BACKREF | PCRE2_ALLOW_EMPTY_CLASS | PCRE2_ALT_CIRCUMFLEX;
  if (utf_) options |= PCRE2_UTF | PCRE2_NO_UTF_CHECK;
  if (a == Anchor::Start) options |= PCRE2_ANCHORED;
  if (c == Case::Insensitive) options |= PCRE2_CASELESS;
  if (l == Lines::Multi) options |= PCRE2_MULTILINE;

  pcre2_compile_context* cc = pcre2_compile_context_create(nullptr);
  pcre2_set_newline(cc, PCRE2_NEWLINE_LF);
  pcre2_set_compile_extra_options(cc, PCRE2_EXTRA_BAD_ESCAPE_IS_LITERAL);
  int errorCode = 0;
  PCRE2_SIZE errorOffset = 0;
  pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(utf8Pattern.data()),
                                   utf8Pattern.size(), options, &errorCode, &errorOffset, cc);
  pcre2_compile_context_free(cc);
  if (!code) {
    error_ = {engineMessage(errorCode),
              utf8CharCount(utf8Pattern.substr(0, std::min(errorOffset, utf8Pattern.size())))};
    return;
  }
  // JIT is an optimisation only: where it is unavailable the interpreter runs the pattern.
  pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);
  uint32_t captures = 0;
  pcre2_pattern_info(code, PCRE2_INFO_CAPTURECOUNT, &captures);
  captures_ = static_cast<int>(captures);
  code_ = std::make_unique<Code>(code);
}

Regex::~Regex() = default;
Regex::Regex(Regex&&) noexcept = default;
Regex& Regex::operator=(Regex&&) noexcept = default;

bool Regex::matchAll(std::string_view subject, bool global, std::vector<size_t>& out,
                     RegexError* err) const {
  out.clear();
  if (!code_) {
    if (err) *err = error_;
    return false;
  }
  MatchData md(code_->code);
  if (!md.data) {
    if (err) *err = {"out of memory", -1};
    return false;
  }
  pcre2_match_context* mc = threadMatchContext();
  const auto* subj = reinterpret_cast<PCRE2_SPTR>(subject.data());
  const size_t groups = static_cast<size_t>(captures_) + 1;
  size_t pos = 0;
  while (pos <= subject.size()) {
    // The subject was checked (or produced) as valid UTF-8 once; checking it again on every
    // call of the global loop would make the loop quadratic.
    const int rc = pcre2_match(code_->code, subj, subject.size(), pos,
                               utf_ ? PCRE2_NO_UTF_CHECK : 0, md.data, mc);
    if (rc == PCRE2_ERROR_NOMATCH) break;
    if (rc < 0) {
      out.clear();
      if (err) *err = {engineMessage(rc), -1};
      return false;
    }
    const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(md.data);
    for (size_t g = 0; g < groups; ++g) {
      const bool set = g < static_cast<size_t>(rc) && ov[2 * g] != PCRE2_UNSET;
      out.push_back(set ? ov[2 * g] : std::string_view::npos);
      out.push_back(set ? ov[2 * g + 1] : std::string_view::npos);
    }
    if (!global) break;
    const size_t start = ov[0];
    const size_t end = std::max(ov[1], start);
    if (end > start) {
      pos = end;
    } else {
      // An empty match moves the search on by one character (no retry at the same place).
      if (end >= subject.size()) break;
      pos = end + (utf_ ? utf8CharLength(static_cast<unsigned char>(subject[end])) : 1);
    }
  }
  return true;
}

size_t Regex::matchAt(std::string_view subject, size_t offset) const {
  if (!code_ || offset > subject.size()) return std::string_view::npos;
  // Only the whole match is wanted: one pair of offsets, kept per thread as this runs per tag.
  thread_local MatchData md(1);
  if (!md.data) return std::string_view::npos;
  const int rc =
      pcre2_match(code_->code, reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(), offset,
                  PCRE2_ANCHORED | (utf_ ? PCRE2_NO_UTF_CHECK : 0), md.data, threadMatchContext());
  if (rc < 0) return std::string_view::npos;
  const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(md.data);
  return ov[1] - ov[0];
}

RegexSession::RegexSession() = default;
RegexSession::~RegexSession() = default;

bool RegexSession::execute(const Text& pattern, const Text& subject, bool caseSensitive,
                           bool multiline, bool global, bool quoteEscape) {
  ran_ = true;
  offsets_.clear();
  error_ = {};
  pattern_ = quoteEscape ? replaceText(pattern, kQuoteEscape, "\"", {}, {}, true) : pattern;
  // A byte the code page cannot read becomes U+FFFD in the pattern, never a '?' quantifier.
  engine_ =
      std::make_unique<Regex>(textToUtf8(pattern_, "\xEF\xBF\xBD"),
                              caseSensitive ? Regex::Case::Sensitive : Regex::Case::Insensitive,
                              multiline ? Regex::Lines::Multi : Regex::Lines::Single);
  subject_ = textToUtf8(subject);
  if (!engine_->ok()) {
    error_ = engine_->error();
    return false;
  }
  return engine_->matchAll(subject_, global, offsets_, &error_);
}

Text RegexSession::patternText() const { return ran_ ? pattern_ : Text(); }

Text RegexSession::replaceMatches(const Text& replacement) const {
  if (!engine_ || !engine_->ok() || !error_.message.empty()) return {};
  const size_t stride = 2 * (static_cast<size_t>(engine_->captureCount()) + 1);
  return utf8ToText(spliceMatches(subject_, offsets_, stride, textToUtf8(replacement)));
}

int RegexSession::matchCount() const {
  if (!engine_ || !engine_->ok()) return 0;
  return static_cast<int>(offsets_.size() / (2 * (engine_->captureCount() + 1)));
}

Text RegexSession::slice(size_t begin, size_t end) const {
  if (begin == std::string::npos || end < begin) return {};
  return utf8ToText(std::string_view(subject_).substr(begin, end - begin));
}

Text RegexSession::matchText(int i) const {
  if (i < 1 || i > matchCount()) return {};
  const size_t base = static_cast<size_t>(i - 1) * 2 * (engine_->captureCount() + 1);
  return slice(offsets_[base], offsets_[base + 1]);
}

Text RegexSession::groupText(int i, int j) const {
  if (i < 1 || i > matchCount() || j < 1 || j > engine_->captureCount()) return {};
  const size_t base = static_cast<size_t>(i - 1) * 2 * (engine_->captureCount() + 1) + 2 * j;
  return slice(offsets_[base], offsets_[base + 1]);
}

int RegexSession::groupCount() const { return matchCount() > 0 ? engine_->captureCount() : 0; }

Text RegexSession::errorText() const {
  if (error_.message.empty()) return {};
  std::string s = error_.message;
  if (error_.offset >= 0) s += " (offset " + std::to_string(error_.offset) + ")";
  return utf8ToText(s);
}

}  // namespace ravelkin
