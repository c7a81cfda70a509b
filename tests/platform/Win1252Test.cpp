// Windows-1252 <-> UTF-8 conversion at the program's edge.
#include <gtest/gtest.h>

#include "platform/Win1252.h"

namespace sk {
namespace {

TEST(Win1252Test, EveryByteRoundTripsThroughUtf8) {
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  const std::optional<std::string> back = Utf8ToWin1252(Win1252ToUtf8(all));
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, all);
}

TEST(Win1252Test, ConvertsKnownCharacters) {
  struct Case {
    std::string win1252;
    std::string utf8;
  };
  for (const Case& c :
       {Case{"\x80", "\xE2\x82\xAC"}, Case{"caf\xE9", "caf\xC3\xA9"}, Case{"\x9F", "\xC5\xB8"},
        Case{"\x81", "\xC2\x81"}, Case{"plain", "plain"}}) {
    SCOPED_TRACE(c.utf8);
    EXPECT_EQ(Win1252ToUtf8(c.win1252), c.utf8);
    EXPECT_EQ(Utf8ToWin1252(c.utf8), c.win1252);
  }
}

TEST(Win1252Test, UnconvertibleTextFailsOrIsReplaced) {
  for (const std::string text :
       {"\xE6\x97\xA5", "a\xF0\x9F\x98\x80", "\xC3", "\xC0\xAF", "\xED\xA0\x80"}) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(Utf8ToWin1252(text));
    const std::optional<std::string> replaced = Utf8ToWin1252(text, '?');
    ASSERT_TRUE(replaced);
    EXPECT_NE(replaced->find('?'), std::string::npos);
  }
  EXPECT_EQ(Utf8ToWin1252("x\xE6\x97\xA5y", '?'), "x?y");
}

TEST(Win1252Test, NearestSpellingKeepsWhatFitsAndSpellsTheRestInLatinLetters) {
  struct TCase {
    const char* text;
    const char* expected;
  };
  const TCase cases[] = {
      {"caf\xC3\xA9 \xE2\x82\xAC", "caf\xE9 \x80"},                    // all of it fits
      {"\xCE\xA9mega", "Omega"},                                       // Greek
      {"\xE6\x97\xA5\xE6\x9C\xAC", "ri ben"},                          // Han
      {"\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0", "Moskva"},  // Cyrillic
      {"a\xF0\x9F\x98\x80"
       "b",
       "a?b"},                          // nothing Latin to say
      {"bad \xFF byte", "bad ? byte"},  // malformed UTF-8
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Utf8ToWin1252Nearest(c.text), c.expected);
  }
}

}  // namespace
}  // namespace sk
