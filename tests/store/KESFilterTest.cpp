// Tests of the plain and pattern key matchers, the pattern compiler's byte programs and the
// store's cached key filter.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "store/KESFilter.h"

namespace sk {
namespace {

// The operation codes of the program format, written out here rather than taken from the header
// so that the tests pin the numbers themselves.
constexpr uint8_t kLit = 1;
constexpr uint8_t kKeyEnd = 3;
constexpr uint8_t kAny = 4;
constexpr uint8_t kCls = 5;
constexpr uint8_t kNeg = 6;
constexpr uint8_t kWordEnd = 9;
constexpr uint8_t kLetter = 10;
constexpr uint8_t kDigit = 11;
constexpr uint8_t kNonLetter = 12;
constexpr uint8_t kLowNonSpace = 13;
constexpr uint8_t kRange = 14;
constexpr uint8_t kEnd = 15;

struct PlainCase {
  std::string_view key;
  std::string_view filter;
  bool case_sensitive;
  bool accepted;
};

TEST(KESFilterTest, PlainMatcherAnchors) {
  const PlainCase kCases[] = {
      // Both anchors: the key contains the text.
      {"Tomcat kitten", "<cat>", false, true},
      {"Tomcat kitten", "<CAT>", false, true},
      {"Tomcat kitten", "<CAT>", true, false},
      {"Tomcat kitten", "<dog>", false, false},
      // No anchor: the key starts with the text and its last occurrence ends the key.
      {"cat", "cat", true, true},
      {"cats", "cat", true, false},
      {"xcat", "cat", true, false},
      {"catxcat", "cat", true, true},
      {"aaa", "aa", true, true},  // Overlapping occurrences: the last one starts at 1.
      // End anchor: the key starts with the text.
      {"abcdef", "abc>", true, true},
      {"xabc", "abc>", true, false},
      // Start anchor: the key ends with the text.
      {"xyzabc", "<abc", true, true},
      {"abcx", "<abc", true, false},
      // A lone anchor, both anchors, or no text accept every key, the empty one too.
      {"anything", ">", true, true},
      {"anything", "<", true, true},
      {"anything", "<>", true, true},
      {"", ">", true, true},
      {"anything", "", true, true},
      {"", "abc", true, false},
      // An anchor elsewhere lifts its condition but is matched as an ordinary character.
      {"xa<b", "a<b", true, true},
      {"xab", "a<b", true, false},
      {"a>bz", "a>b", true, true},
      {"abz", "a>b", true, false},
      // Only ASCII letters fold; Windows-1252 letters such as 0xE9/0xC9 compare exactly.
      {"\xe9T", "\xe9t", false, true},
      {"\xc9t", "\xe9t", false, false},
  };
  for (const PlainCase& c : kCases) {
    SCOPED_TRACE(testing::Message() << "key \"" << c.key << "\" filter \"" << c.filter << "\" "
                                    << (c.case_sensitive ? "case-sensitive" : "case-insensitive"));
    EXPECT_EQ(PlainMatch(c.key, c.filter, c.case_sensitive), c.accepted);
  }
}

TEST(KESFilterTest, PlainMatcherUsesGivenAnchorCharacters) {
  EXPECT_TRUE(PlainMatch("Tomcat", "[cat", false, '[', ']'));
  EXPECT_TRUE(PlainMatch("catalogue", "cat]", false, '[', ']'));
  EXPECT_FALSE(PlainMatch("Tomcat", "<cat", false, '[', ']'));
}

struct CompileCase {
  std::string_view filter;
  bool case_sensitive;
  bool valid;
  bool start_anchor;
  bool word_start_anchor;
  std::vector<uint8_t> code;  // Empty when not valid.
};

TEST(KESFilterTest, CompilesFilterToProgram) {
  const CompileCase kCases[] = {
      {"^ab", true, true, true, false, {kLit, 'a', kLit, 'b', kEnd}},
      {"%ab", true, true, false, true, {kLit, 'a', kLit, 'b', kEnd}},
      {"", true, true, false, false, {kEnd}},
      {"^", true, true, true, false, {kEnd}},
      {"a$", true, true, false, false, {kLit, 'a', kKeyEnd, kEnd}},
      {"a&", true, true, false, false, {kLit, 'a', kWordEnd, kEnd}},
      {".:a", true, true, false, false, {kAny, kLetter, kEnd}},
      {":D:n: ", true, true, false, false, {kDigit, kNonLetter, kLowNonSpace, kEnd}},
      // Anchors and ends out of place.
      {"a$b", true, false, false, false, {}},
      {"&a", true, false, false, false, {}},
      {"a^", true, false, false, false, {}},
      {"a%b", true, false, false, false, {}},
      {"^%a", true, false, false, false, {}},
      // Colons: an unknown letter or a lone ":" at the end is invalid; an escaped one is literal.
      {":x", true, false, false, false, {}},
      {"ab:", true, false, false, false, {}},
      {"\\\\:", true, true, false, false, {kLit, ':', kEnd}},
      // A single backslash, or two at the end, are ordinary characters.
      {"\\x", true, true, false, false, {kLit, '\\', kLit, 'x', kEnd}},
      {"x\\\\", true, true, false, false, {kLit, 'x', kLit, '\\', kLit, '\\', kEnd}},
      // Classes: one range alone is a bare range code; ranges coexist with single members.
      {"[a-z]", true, true, false, false, {kRange, 'a', 'z', kEnd}},
      {"[abc]", true, true, false, false, {kCls, 'a', 'b', 'c', kEnd}},
      {"[a-cx]", true, true, false, false, {kCls, kRange, 'a', 'c', 'x', kEnd}},
      {"[xa-c]", true, true, false, false, {kCls, 'x', kRange, 'a', 'c', kEnd}},
      {"[^a-c]", true, true, false, false, {kNeg, '^', kRange, 'a', 'c', kEnd}},
      {"[a-c][x-y]", true, true, false, false, {kRange, 'a', 'c', kRange, 'x', 'y', kEnd}},
      // After a class, a lone range stays a class so it is not read as the first one's member.
      {"[ab][c-d]", true, true, false, false, {kCls, 'a', 'b', kCls, kRange, 'c', 'd', kEnd}},
      // A "-" first, last or right after a range is a member.
      {"[-a]", true, true, false, false, {kCls, '-', 'a', kEnd}},
      {"[a-]", true, true, false, false, {kCls, 'a', '-', kEnd}},
      {"[a-c-e]", true, true, false, false, {kCls, kRange, 'a', 'c', '-', 'e', kEnd}},
      // An escaped "]" is a member; a member below 16 is written as a one-character range.
      {"[a\\\\]]", true, true, false, false, {kCls, 'a', ']', kEnd}},
      {"[\t]", true, true, false, false, {kCls, kRange, '\t', '\t', kEnd}},
      {"[]", true, true, false, false, {kCls, kEnd}},
      {"[abc", true, false, false, false, {}},
      // Case-insensitive: characters are lowered, range bounds kept.
      {"AB[CD]", false, true, false, false, {kLit, 'a', kLit, 'b', kCls, 'c', 'd', kEnd}},
      {"[A-Z]", false, true, false, false, {kRange, 'A', 'Z', kEnd}},
      {"AB", true, true, false, false, {kLit, 'A', kLit, 'B', kEnd}},
  };
  for (const CompileCase& c : kCases) {
    SCOPED_TRACE(testing::Message() << "filter \"" << c.filter << "\"");
    const TPatternProgram program = CompilePattern(c.filter, c.case_sensitive);
    EXPECT_EQ(program.valid, c.valid);
    EXPECT_EQ(program.code, c.code);
    if (c.valid) {
      EXPECT_EQ(program.start_anchor, c.start_anchor);
      EXPECT_EQ(program.word_start_anchor, c.word_start_anchor);
    }
  }
}

TEST(KESFilterTest, ProgramLongerThan512BytesIsInvalid) {
  // Each member below 16 takes 3 bytes: "[", 170 of them and "]" give 1 + 510 + end = 512 bytes.
  const std::string fits = "[" + std::string(170, '\x01') + "]";
  const TPatternProgram at_limit = CompilePattern(fits, true);
  EXPECT_TRUE(at_limit.valid);
  EXPECT_EQ(at_limit.code.size(), 512u);
  EXPECT_FALSE(PatternMatch("abc", at_limit, true));

  const std::string overlong = "[" + std::string(171, '\x01') + "]";
  const TPatternProgram too_long = CompilePattern(overlong, true);
  EXPECT_FALSE(too_long.valid);
  EXPECT_TRUE(PatternMatch("abc", too_long, true));  // Invalid accepts every key.

  // The longest plain filter, 255 literals, fits.
  EXPECT_EQ(CompilePattern(std::string(255, 'a'), true).code.size(), 511u);
}

struct MatchCase {
  std::string_view filter;
  std::string_view key;
  bool case_sensitive;
  bool accepted;
};

TEST(KESFilterTest, PatternMatcherAcceptsWhenAnyStartPasses) {
  const MatchCase kCases[] = {
      {":Dx", "abc", true, false},
      {":Dx", "ab7x", true, true},
      {"a.c", "abc", true, true},
      {"a.c", "a\rc", true, false},
      {"a.c", "a\nc", true, false},
      // An invalid pattern accepts every key, even the empty one.
      {"a$b", "anything", true, true},
      {"a$b", "", true, true},
      {"ab:", "zzz", true, true},
      // The empty key and a program without operations accept nothing.
      {"a", "", true, false},
      {"", "abc", true, false},
      {"^", "abc", true, false},
      // Start anchor: a later match at a failing position does not undo the first.
      {"^ab", "abab", true, true},
      {"^ab", "ab", true, true},
      {"^ab", "xab", true, false},
      // Word-start anchor: the key's start, or after a space or a character of code 64 or less.
      {"%cat", "cat tomcat", true, true},
      {"%cat", "tomcat cat", true, true},
      {"%cat", "tomcat", true, false},
      {"%cat", "@cat", true, true},
      {"%cat", "Acat", true, false},
      // Key end and word end: a match that does not end right is followed by later ones.
      {"cat$", "catxcat", true, true},
      {"cat$", "cats", true, false},
      {"cat&", "catsup cat", true, true},
      {"cat&", "cat-x", true, true},
      {"cat&", "cat@x", true, false},
      {"cat&", "cats", true, false},
      {"^cat$", "cat", true, true},
      {"^cat$", "catcat", true, false},
      // The key's end is a start position of its own.
      {"$", "abc", true, true},
      {"&", "abc", true, true},
      {"%&", "abc", true, false},
  };
  for (const MatchCase& c : kCases) {
    SCOPED_TRACE(testing::Message() << "filter \"" << c.filter << "\" key \"" << c.key << "\"");
    EXPECT_EQ(PatternMatch(c.key, CompilePattern(c.filter, c.case_sensitive), c.case_sensitive),
              c.accepted);
  }
}

TEST(KESFilterTest, PatternClassesMixRangesAndMembers) {
  // Anchored at both ends so that each key is tested as exactly one character.
  const MatchCase kCases[] = {
      {"^[a-cx]$", "b", true, true},
      {"^[a-cx]$", "x", true, true},
      {"^[a-cx]$", "d", true, false},
      {"^[a-cx]$", "y", true, false},
      {"^[xa-cm-n]$", "n", true, true},
      {"^[xa-cm-n]$", "l", true, false},
      {"^[a-c-e]$", "-", true, true},
      {"^[a-c-e]$", "e", true, true},
      {"^[a-c-e]$", "d", true, false},
      {"^[\t]$", "\t", true, true},
      {"^[]$", "a", true, false},
      // Negated: neither a member nor in a range; its opening "^" is a member too.
      {"^[^a-c]$", "d", true, true},
      {"^[^a-c]$", "b", true, false},
      {"^[^a-c]$", "^", true, false},
      {"^[^a-cx]$", "x", true, false},
      {"^[^a-cx]$", "y", true, true},
      // A class followed by a lone range keeps the two apart.
      {"^[ab][c-d]$", "ad", true, true},
      {"^[ab][c-d]$", "bc", true, true},
      {"^[ab][c-d]$", "ab", true, false},
      {"^[ab][c-d]$", "a", true, false},
  };
  for (const MatchCase& c : kCases) {
    SCOPED_TRACE(testing::Message() << "filter \"" << c.filter << "\" key \"" << c.key << "\"");
    EXPECT_EQ(PatternMatch(c.key, CompilePattern(c.filter, c.case_sensitive), c.case_sensitive),
              c.accepted);
  }
}

TEST(KESFilterTest, PatternCharacterCodesAndCaseModes) {
  const MatchCase kCases[] = {
      // ":N" is "not a letter a to z", in either case mode.
      {"^:N$", "1", true, true},
      {"^:N$", "\xe9", true, true},
      {"^:N$", "a", true, false},
      {"^:N$", "A", true, false},
      {"^:A$", "Q", true, true},
      {"^:D$", "7", true, true},
      {"^:D$", "x", true, false},
      // ": " is any character of code 1 to 64 except the space.
      {"a: b", "a,b", true, true},
      {"a: b", "a1b", true, true},
      {"a: b", "a b", true, false},
      {"a: b", "aAb", true, false},
      // Literals and members fold unless case-sensitive.
      {"ABC", "xabcx", false, true},
      {"ABC", "xabcx", true, false},
      {"^[XY]$", "y", false, true},
      {"^[XY]$", "y", true, false},
      // A range matches a case-insensitive character when either of its cases lies within.
      {"^[A-Z]$", "m", false, true},
      {"^[A-Z]$", "m", true, false},
      {"^[a-z]$", "M", false, true},
      {"^[0-Z]$", "q", false, true},
      {"^[0-Z]$", "_", false, false},
      {"\\\\:", "a:b", true, true},
  };
  for (const MatchCase& c : kCases) {
    SCOPED_TRACE(testing::Message() << "filter \"" << c.filter << "\" key \"" << c.key << "\" "
                                    << (c.case_sensitive ? "case-sensitive" : "case-insensitive"));
    EXPECT_EQ(PatternMatch(c.key, CompilePattern(c.filter, c.case_sensitive), c.case_sensitive),
              c.accepted);
  }
}

TEST(KESFilterTest, NoCodeMatchesPastTheKeyEnd) {
  // Codes that accept "everything but" must still need a character.
  for (std::string_view filter : {"a[^b]", "a:N", "a: ", "a.", "a[^b]$", "a:N&"}) {
    SCOPED_TRACE(filter);
    EXPECT_FALSE(PatternMatch("a", CompilePattern(filter, true), true));
    EXPECT_TRUE(PatternMatch("a-", CompilePattern(filter, true), true));
  }
}

TEST(KESFilterTest, MalformedProgramsMatchNothingAndStayInBounds) {
  // Hand-made code sequences that the compiler never produces; the sanitizers check the reads.
  const struct {
    const char* what;
    std::vector<uint8_t> code;
  } kCases[] = {
      {"no end code", {kLit, 'a'}},
      {"literal without operand", {kLit}},
      {"range cut after its low bound", {kRange, 'a'}},
      {"class range cut off", {kCls, kRange, 'a'}},
      {"class up to the last byte", {kNeg, 'x'}},
      {"unknown code", {2, kEnd}},
      {"zero code", {0, kEnd}},
      {"empty", {}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    TPatternProgram program;
    program.valid = true;
    program.code = c.code;
    EXPECT_FALSE(PatternMatch("ab", program, true));
  }
}

TEST(KESFilterTest, KeyFilterFollowsTextModeAndCase) {
  TKeyFilter filter;
  EXPECT_TRUE(filter.Empty());
  EXPECT_TRUE(filter.Passes("anything"));

  filter.Set("cat", false, false);
  EXPECT_FALSE(filter.Empty());
  EXPECT_TRUE(filter.Passes("CAT"));
  EXPECT_FALSE(filter.Passes("cats"));

  // Same text, pattern mode: an unanchored search now.
  filter.Set("cat", true, false);
  EXPECT_TRUE(filter.Passes("cats"));
  EXPECT_TRUE(filter.Passes("CAT"));

  // Case mode changes recompile the program.
  filter.Set("cat", true, true);
  EXPECT_FALSE(filter.Passes("CAT"));

  filter.Set("dog", true, true);
  EXPECT_FALSE(filter.Passes("cats"));
  EXPECT_TRUE(filter.Passes("hotdog"));

  // An invalid pattern passes every key.
  filter.Set("a$b", true, true);
  EXPECT_TRUE(filter.Passes("zzz"));

  filter.Set("", true, true);
  EXPECT_TRUE(filter.Empty());
  EXPECT_TRUE(filter.Passes("anything"));
}

TEST(KESFilterTest, KeyFilterCutsTextTo255Bytes) {
  TKeyFilter filter;
  const std::string key(255, 'a');
  // Without the cut the trailing "b" would have to end the key.
  filter.Set(key + "b", false, true);
  EXPECT_TRUE(filter.Passes(key));
  filter.Set(key + "b", true, true);
  EXPECT_TRUE(filter.Passes(key));
}

}  // namespace
}  // namespace sk
