// Key filters: the plain matcher with start and end anchors, the pattern matcher with its compiled
// byte program, and TKeyFilter, which a store holds to test its keys against the current filter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sk {

// Keys and filters are Windows-1252 byte strings of at most this many bytes.
inline constexpr size_t kMaxFilterLength = 255;

// Returns whether the plain filter accepts the key. Unless case_sensitive, ASCII letters are
// compared without regard to case (other bytes exactly). Without anchors the filter must start
// the key and its last occurrence must end it. A filter that begins with start_anchor lifts the
// first condition and one that ends with end_anchor lifts the second (both anchors: the key
// contains the text); the anchor is then removed. An anchor character elsewhere in the filter
// lifts the same condition but is matched as an ordinary character. A filter that is empty after
// removing its anchors (e.g. "<" or ">") accepts every key.
bool PlainMatch(std::string_view key, std::string_view filter, bool case_sensitive,
                char start_anchor = '<', char end_anchor = '>');

// Operation codes of a compiled pattern program; the operands follow the code.
enum class EPatternCode : uint8_t {
  kLiteral = 1,       // One operand: the character.
  kKeyEnd = 3,        // From a final "$". Consumes no character.
  kAnyChar = 4,       // From ".": any character except line feed and carriage return.
  kClass = 5,         // A member list (see below).
  kNegatedClass = 6,  // A member list; matches a character that is none of the members.
  kWordEnd = 9,       // From a final "&". Consumes no character.
  kLetter = 10,       // From ":A": a to z after lowering.
  kDigit = 11,        // From ":D": 0 to 9.
  kNonLetter = 12,    // From ":N": any character that kLetter does not match.
  kLowNonSpace = 13,  // From ": ": code 1 to 64 other than the space.
  kRange = 14,        // Two operands: the low and the high character.
  kEnd = 15,          // Ends the program.
};

// A compiled pattern. Filter syntax, left to right:
//   "^" first: the match must start at the key's start; "%" first: at a word start (the key's
//   start, or after a space or a character with code 64 or less). Anywhere else both are invalid.
//   "$" last: the match must end at the key's end; "&" last: at a word end (the key's end, or
//   before a space or a character with code 63 or less). Anywhere else both are invalid.
//   "." any character but CR and LF; ":A" a letter, ":D" a digit, ":N" a non-letter, ": " a
//   character with code 1 to 64 other than the space (the letter after ":" in either case). Any
//   other character after ":", and a ":" that ends the filter, make the pattern invalid; write a
//   colon escaped.
//   "[...]" a class, "[^...]" a negated class; in the negated form the "^" is also a member.
//   Within a class "x-y" is a range, unless the "-" is the first member (the "^" of a negated
//   class counts as one), directly follows a range, or is followed by "]"; then it is a member.
//   A class needs its closing "]"; "[]" is an empty class, which matches no character.
//   Two backslashes and a character stand for that character, in or out of a class; a
//   backslash that does not begin such a triple is an ordinary character.
//   Every other character stands for itself.
// Unless case-sensitive, every character in the program is lowered (A to Z) except the bounds of
// ranges, which are kept as written and matched against both cases of the key's character.
//
// Encoding of a class: the code 5 or 6 followed by its members. A member is a character of code
// 16 or more, or a range written as 14, low, high (members below 16 are written as the range
// 14, c, c). The member list ends at the first byte below 16 that is not 14. A class that is
// exactly one range compiles to the bare range 14, low, high; when it directly follows another
// class it is written as the class 5, 14, low, high instead, so that it cannot be taken for a
// member of the class before it. So "[abc]" is 5 a b c, "[a-z]" is 14 a z, "[a-cx]" is
// 5 14 a c x and "[^a-c]" is 6 ^ 14 a c.
//
// The program is at most kMaxPatternProgram bytes including the end code; a filter whose program
// would be longer is invalid.
struct TPatternProgram {
  std::vector<uint8_t> code;
  bool valid = false;
  bool start_anchor = false;
  bool word_start_anchor = false;
};

inline constexpr size_t kMaxPatternProgram = 512;

// Compiles a filter. The result's code is empty when it is not valid.
TPatternProgram CompilePattern(std::string_view filter, bool case_sensitive);

// Returns whether the program accepts the key: true for every key when the program is invalid;
// false for the empty key and for a program without operations. Otherwise the key passes when
// the program matches at some start position (the key's end included, where only "$" and "&"
// can match) that satisfies the program's anchor. case_sensitive must be the mode the program
// was compiled in. A malformed code sequence never reads outside itself; it matches nothing.
bool PatternMatch(std::string_view key, const TPatternProgram& program, bool case_sensitive);

// The filter a store applies to its keys, with the pattern compiled once per change.
class TKeyFilter {
 public:
  // Sets the filter text (cut to kMaxFilterLength bytes), the matcher (pattern or plain) and the
  // case mode; recompiles only when one of them changed.
  void Set(std::string_view text, bool use_pattern, bool case_sensitive);

  // True when the text is empty: then every key passes.
  bool Empty() const { return text_.empty(); }

  // Returns whether the key passes the filter.
  bool Passes(std::string_view key) const;

 private:
  std::string text_;
  bool use_pattern_ = false;
  bool case_sensitive_ = false;
  TPatternProgram program_;
};

}  // namespace sk
