// The plain and pattern key matchers and the store's cached key filter.
#include "store/KESFilter.h"

#include <optional>

namespace sk {
namespace {

using Code = EPatternCode;

constexpr uint8_t Op(Code code) { return static_cast<uint8_t>(code); }

// Bytes of a program below this value are operation codes; class members are at or above it.
constexpr uint8_t kFirstMember = 16;

uint8_t Byte(char c) { return static_cast<uint8_t>(c); }

// Keys are Windows-1252; only the ASCII letters change case, as the store's case mode defines.
uint8_t Lower(uint8_t c) { return c >= 'A' && c <= 'Z' ? static_cast<uint8_t>(c + 32) : c; }
uint8_t Upper(uint8_t c) { return c >= 'a' && c <= 'z' ? static_cast<uint8_t>(c - 32) : c; }

std::string UpperCopy(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = static_cast<char>(Upper(Byte(c)));
  return result;
}

// ---- Pattern compiler ----

// One member of a class as written in the filter; a single character has low == high.
struct ClassMember {
  uint8_t low;
  uint8_t high;
  bool range;
};

class PatternCompiler {
 public:
  PatternCompiler(std::string_view filter, bool case_sensitive)
      : filter_(filter), case_sensitive_(case_sensitive) {}

  TPatternProgram Compile() {
    TPatternProgram program;
    size_t i = 0;
    if (!filter_.empty() && filter_[0] == '^') {
      program.start_anchor = true;
      i = 1;
    } else if (!filter_.empty() && filter_[0] == '%') {
      program.word_start_anchor = true;
      i = 1;
    }
    while (i < filter_.size()) {
      if (!CompileElement(i)) return {};
    }
    code_.push_back(Op(Code::kEnd));
    // An overlong program is refused as a whole: a cut one would test a different pattern.
    if (code_.size() > kMaxPatternProgram) return {};
    program.code = std::move(code_);
    program.valid = true;
    return program;
  }

 private:
  // Compiles the element at filter_[i] and advances i past it; false when the pattern is invalid.
  bool CompileElement(size_t& i) {
    const bool last = i + 1 == filter_.size();
    const bool after_class = previous_was_class_;
    previous_was_class_ = false;
    switch (filter_[i]) {
      case '^':
      case '%':
        return false;  // Only valid as the first character, handled before the loop.
      case '$':
      case '&':
        if (!last) return false;
        code_.push_back(Op(filter_[i] == '$' ? Code::kKeyEnd : Code::kWordEnd));
        ++i;
        return true;
      case '.':
        code_.push_back(Op(Code::kAnyChar));
        ++i;
        return true;
      case ':': {
        // A ":" without its letter is invalid, like one with an unknown letter.
        if (last) return false;
        const std::optional<Code> code = ColonCode(Upper(Byte(filter_[i + 1])));
        if (!code) return false;
        code_.push_back(Op(*code));
        i += 2;
        return true;
      }
      case '[':
        ++i;
        return CompileClass(i, after_class);
      default:
        code_.push_back(Op(Code::kLiteral));
        code_.push_back(Fold(ReadChar(i)));
        return true;
    }
  }

  static std::optional<Code> ColonCode(uint8_t x) {
    switch (x) {
      case 'A':
        return Code::kLetter;
      case 'D':
        return Code::kDigit;
      case 'N':
        return Code::kNonLetter;
      case ' ':
        return Code::kLowNonSpace;
      default:
        return std::nullopt;
    }
  }

  // Reads one character at filter_[i], resolving the escape of two backslashes and a character,
  // and advances i past it.
  uint8_t ReadChar(size_t& i) const {
    if (filter_[i] == '\\' && i + 2 < filter_.size() && filter_[i + 1] == '\\') {
      i += 3;
      return Byte(filter_[i - 1]);
    }
    return Byte(filter_[i++]);
  }

  uint8_t Fold(uint8_t c) const { return case_sensitive_ ? c : Lower(c); }

  // Compiles a class whose "[" has been consumed; i ends past its "]".
  bool CompileClass(size_t& i, bool after_class) {
    // The "^" of a negated class is not skipped: it is also a member.
    const bool negated = i < filter_.size() && filter_[i] == '^';
    std::vector<ClassMember> members;
    for (;;) {
      if (i >= filter_.size()) return false;  // No closing "]".
      const char c = filter_[i];
      if (c == ']') {
        ++i;
        break;
      }
      if (c == '-' && !members.empty() && !members.back().range && i + 1 < filter_.size() &&
          filter_[i + 1] != ']') {
        ++i;
        members.back().high = ReadChar(i);
        members.back().range = true;
        continue;
      }
      const uint8_t member = ReadChar(i);
      members.push_back({member, member, false});
    }

    if (!negated && members.size() == 1 && members[0].range && !after_class) {
      EmitRange(members[0].low, members[0].high);
    } else {
      code_.push_back(Op(negated ? Code::kNegatedClass : Code::kClass));
      for (const ClassMember& m : members) {
        // A member below 16 would read as an operation code, so it is written as a range.
        if (m.range || m.low < kFirstMember) {
          EmitRange(m.low, m.high);
        } else {
          code_.push_back(Fold(m.low));
        }
      }
      previous_was_class_ = true;
    }
    return true;
  }

  // Range bounds are kept as written in either case mode; the matcher folds the key instead.
  void EmitRange(uint8_t low, uint8_t high) {
    code_.push_back(Op(Code::kRange));
    code_.push_back(low);
    code_.push_back(high);
  }

  std::string_view filter_;
  bool case_sensitive_;
  std::vector<uint8_t> code_;
  bool previous_was_class_ = false;
};

// ---- Pattern matcher ----

class PatternWalker {
 public:
  PatternWalker(std::string_view key, const std::vector<uint8_t>& code, bool case_sensitive)
      : key_(key), code_(code), case_sensitive_(case_sensitive) {}

  // Runs the program from key_[start]; true when it reaches the end code with every code
  // satisfied.
  bool Matches(size_t start) const {
    size_t pc = 0;
    size_t place = start;
    for (;;) {
      if (pc >= code_.size()) return false;  // No end code.
      const uint8_t op = code_[pc++];
      switch (static_cast<Code>(op)) {
        case Code::kEnd:
          return true;
        case Code::kKeyEnd:
          if (place != key_.size()) return false;
          continue;
        case Code::kWordEnd:
          if (place != key_.size() && Byte(key_[place]) > 63) return false;
          continue;
        default:
          break;
      }
      // Every other code consumes one character, so none can match at the key's end.
      if (place >= key_.size()) return false;
      if (!MatchesChar(op, pc, Fold(Byte(key_[place])))) return false;
      ++place;
    }
  }

 private:
  uint8_t Fold(uint8_t c) const { return case_sensitive_ ? c : Lower(c); }

  // Tests one consuming code (its operands start at pc, which is advanced past them) against the
  // folded key character c.
  bool MatchesChar(uint8_t op, size_t& pc, uint8_t c) const {
    switch (static_cast<Code>(op)) {
      case Code::kLiteral:
        if (pc >= code_.size()) return false;
        return code_[pc++] == c;
      case Code::kAnyChar:
        return c != '\n' && c != '\r';
      case Code::kClass:
      case Code::kNegatedClass: {
        const std::optional<bool> member = InClass(pc, c);
        if (!member) return false;
        return *member == (static_cast<Code>(op) == Code::kClass);
      }
      case Code::kLetter:
        return IsLetter(c);
      case Code::kDigit:
        return c >= '0' && c <= '9';
      case Code::kNonLetter:
        return !IsLetter(c);
      case Code::kLowNonSpace:
        return c >= 1 && c <= 64 && c != ' ';
      case Code::kRange:
        if (pc + 2 > code_.size()) return false;
        pc += 2;
        return InRange(code_[pc - 2], code_[pc - 1], c);
      default:
        return false;  // Not an operation code: a malformed program matches nothing.
    }
  }

  // Reads the member list at pc (advancing past it) and returns whether c is a member, or nothing
  // when the list is cut off inside a range.
  std::optional<bool> InClass(size_t& pc, uint8_t c) const {
    bool member = false;
    while (pc < code_.size()) {
      const uint8_t b = code_[pc];
      if (b == Op(Code::kRange)) {
        if (pc + 3 > code_.size()) return std::nullopt;
        member = member || InRange(code_[pc + 1], code_[pc + 2], c);
        pc += 3;
      } else if (b >= kFirstMember) {
        member = member || b == c;
        ++pc;
      } else {
        break;
      }
    }
    return member;
  }

  static bool IsLetter(uint8_t c) {
    c = Lower(c);
    return c >= 'a' && c <= 'z';
  }

  // The bounds are as written; a case-insensitive key character matches when either of its cases
  // lies in the range (c is already lowered then).
  bool InRange(uint8_t low, uint8_t high, uint8_t c) const {
    if (low <= c && c <= high) return true;
    const uint8_t upper = Upper(c);
    return !case_sensitive_ && low <= upper && upper <= high;
  }

  std::string_view key_;
  const std::vector<uint8_t>& code_;
  bool case_sensitive_;
};

bool PassesAnchor(std::string_view key, size_t start, const TPatternProgram& program) {
  if (program.start_anchor) return start == 0;
  if (program.word_start_anchor) return start == 0 || Byte(key[start - 1]) <= 64;
  return true;
}

}  // namespace

bool PlainMatch(std::string_view key, std::string_view filter, bool case_sensitive,
                char start_anchor, char end_anchor) {
  std::string folded_key;
  std::string folded_filter;
  if (!case_sensitive) {
    folded_key = UpperCopy(key);
    folded_filter = UpperCopy(filter);
    key = folded_key;
    filter = folded_filter;
    start_anchor = static_cast<char>(Upper(Byte(start_anchor)));
    end_anchor = static_cast<char>(Upper(Byte(end_anchor)));
  }

  // An anchor anywhere lifts its condition; only a leading start or trailing end anchor is
  // removed from the text.
  const bool any_start = filter.find(start_anchor) != std::string_view::npos;
  if (!filter.empty() && filter.front() == start_anchor) filter.remove_prefix(1);
  const size_t end_at = filter.find(end_anchor);
  const bool any_end = end_at != std::string_view::npos;
  if (any_end && end_at + 1 == filter.size()) filter.remove_suffix(1);
  if (filter.empty()) return true;

  const size_t first = key.find(filter);
  if (first == std::string_view::npos) return false;
  const size_t last = key.rfind(filter);
  return (any_start || first == 0) && (any_end || last + filter.size() == key.size());
}

TPatternProgram CompilePattern(std::string_view filter, bool case_sensitive) {
  return PatternCompiler(filter, case_sensitive).Compile();
}

bool PatternMatch(std::string_view key, const TPatternProgram& program, bool case_sensitive) {
  if (!program.valid) return true;
  if (key.empty() || program.code.empty() || program.code[0] == Op(Code::kEnd)) return false;
  const PatternWalker walker(key, program.code, case_sensitive);
  // Any start position that matches and satisfies the anchor lets the key pass. The key's end is
  // a start position too, so that a pattern of only "$" or "&" can find it.
  for (size_t start = 0; start <= key.size(); ++start) {
    if (PassesAnchor(key, start, program) && walker.Matches(start)) return true;
  }
  return false;
}

void TKeyFilter::Set(std::string_view text, bool use_pattern, bool case_sensitive) {
  text = text.substr(0, kMaxFilterLength);
  if (text == text_ && use_pattern == use_pattern_ && case_sensitive == case_sensitive_) return;
  text_ = text;
  use_pattern_ = use_pattern;
  case_sensitive_ = case_sensitive;
  program_ = use_pattern_ ? CompilePattern(text_, case_sensitive_) : TPatternProgram{};
}

bool TKeyFilter::Passes(std::string_view key) const {
  if (Empty()) return true;
  if (use_pattern_) return PatternMatch(key, program_, case_sensitive_);
  return PlainMatch(key, text_, case_sensitive_);
}

}  // namespace sk
