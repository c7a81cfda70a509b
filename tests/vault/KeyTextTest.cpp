// Keys from text: one limit and one conversion rule for every front end.
#include <gtest/gtest.h>

#include <string>

#include "vault/KeyText.h"

namespace sk {
namespace {

TEST(KeyTextTest, NewKeysReplaceWhatWindows1252CannotHoldAndAreCutTo255) {
  struct TCase {
    const char* name;
    std::string text;
    std::string key;
  };
  const TCase cases[] = {
      {"plain", "cat", "cat"},
      {"accents and euro", "caf\xC3\xA9 \xE2\x82\xAC", "caf\xE9 \x80"},
      {"not in Windows-1252", "\xE2\x98\x83 snow", "? snow"},
      {"exactly 255", std::string(255, 'a'), std::string(255, 'a')},
      {"256 is cut", std::string(256, 'b'), std::string(255, 'b')},
      {"cut counts bytes of the key, not of UTF-8",
       std::string(200, 'c') + std::string(30, 'x') +
           [] {
             std::string e;
             for (int i = 0; i < 40; ++i) e += "\xC3\xA9";
             return e;
           }(),
       std::string(200, 'c') + std::string(30, 'x') + std::string(25, '\xE9')},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(KeyFromText(c.text), c.key);
  }
}

TEST(KeyTextTest, ExistingKeysAreConvertedExactlyOrRefused) {
  EXPECT_EQ(ExactKeyFromText("caf\xC3\xA9"), "caf\xE9");
  EXPECT_EQ(ExactKeyFromText(std::string(255, 'k')), std::string(255, 'k'));
  EXPECT_THROW(ExactKeyFromText("\xE2\x98\x83"), EKeyText);
  EXPECT_THROW(ExactKeyFromText(std::string(256, 'k')), EKeyText);
  EXPECT_EQ(KeyToUtf8("caf\xE9"), "caf\xC3\xA9");
}

TEST(KeyTextTest, AFilesKeyIsItsNameWithoutFolderAndThreeLetterExtension) {
  EXPECT_EQ(KeyForFile("/photos/2024/cat.jpg"), "cat");
  EXPECT_EQ(KeyForFile("/photos/scan.tiff"), "scan.tiff");
  EXPECT_EQ(KeyForFile("caf\xC3\xA9.bmp"), "caf\xE9");
  // Characters Windows-1252 cannot hold are spelled in Latin letters, not turned into "?".
  EXPECT_EQ(KeyForFile("/p/\xC3\x86r\xC3\xB8sk\xC3\xB8"
                       "bing \xE6\x97\xA5\xE6\x9C\xAC \xCE\xA9mega.jpg"),
            "\xC6r\xF8sk\xF8"
            "bing ri ben Omega");
  // The extension is taken off before the name is cut to 255 characters.
  EXPECT_EQ(KeyForFile(std::string(300, 'x') + ".jpg"), std::string(255, 'x'));
}

}  // namespace
}  // namespace sk
