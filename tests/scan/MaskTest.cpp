// Tests of the file-name masks: matching rules, invalid masks and splitting a mask list.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "scan/Mask.h"

namespace sk {
namespace {

TEST(MaskTest, MatchesWholeNamesByTheWildcardRules) {
  const struct {
    const char* mask;
    const char* name;
    bool matches;
  } cases[] = {
      {"*.jpg", "photo.jpg", true},
      {"*.jpg", "photo.JPG", true},  // A to Z without regard to case
      {"*.JPG", "photo.jpg", true},
      {"*.jpg", "photo.jpg.bak", false},  // the whole name only
      {"*.jpg", ".jpg", true},            // the asterisk takes an empty run
      {"*", "", true},
      {"*", "anything at all", true},
      {"a*b*c", "abc", true},
      {"a*b*c", "aXbYbZc", true},
      {"a*b*c", "aXbYcZ", false},
      {"*.*", "noextension", false},
      {"photo?.jpg", "photo1.jpg", true},
      {"photo?.jpg", "photo.jpg", false},
      {"photo?.jpg", "photo12.jpg", false},
      {"*?.jpg", ".jpg", true},    // "?" right after "*" is ignored
      {"*??.jpg", ".jpg", false},  // only the first one
      {"*??.jpg", "a.jpg", true},
      {"x?", "xé", true},  // "?" is one character, not one byte
      {"[abc]*", "b.gif", true},
      {"[abc]*", "B.gif", true},
      {"[abc]*", "d.gif", false},
      {"[!abc]*", "d.gif", true},
      {"[!abc]*", "A.gif", false},
      {"scan[0-9].tif", "scan7.tif", true},
      {"scan[0-9].tif", "scanx.tif", false},
      {"[a-c]x", "Bx", true},  // ranges fold case too
      {"[A-C]x", "bx", true},
      {"[z-a]x", "mx", false},  // a range that ends below its start holds nothing
      {"[z-ab]x", "bx", true},
      {"[a-]x", "-x", true},  // a hyphen before "]" is itself
      {"a]b", "a]b", true},   // "]" outside a set is itself
      {"é*.jpg", "é1.jpg", true},
      {"é*.jpg", "É1.jpg", false},  // accented letters must match exactly
      {"[é]", "é", true},
      {"*.jpeg", "photo.jpg", false},
      {"a b*", "a b.jpg", true},
      {"a b*", "ab.jpg", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.mask) + " / " + c.name);
    EXPECT_EQ(TMask(c.mask).Matches(c.name), c.matches);
  }
}

TEST(MaskTest, InvalidMasksNameTheOffendingPosition) {
  const struct {
    const char* mask;
    int position;
  } cases[] = {
      {"[]", 2},  // an empty set: its "]"
      {"*.[!]", 5},
      {"*.[jp", 3},  // no closing bracket: its "["
      {"[", 1},
      {"[!", 1},
      {"a[-z]", 3},  // a hyphen opens the set
      {"[!-z]", 3},
      {"é[]", 3},  // positions count characters
      {"*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*", 61},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mask);
    try {
      TMask mask(c.mask);
      ADD_FAILURE() << "no error";
    } catch (const EMaskError& e) {
      EXPECT_EQ(e.Position(), c.position);
      EXPECT_EQ(std::string(e.what()), "'" + std::string(c.mask) + "' is an invalid mask at (" +
                                           std::to_string(c.position) + ")");
    }
  }
}

TEST(MaskTest, ThirtyAsteriskGroupsAreAllowedAndRunsCountOnce) {
  std::string thirty;
  for (int i = 0; i < 30; ++i) thirty += "*a";
  EXPECT_TRUE(TMask(thirty).Matches(std::string(30, 'a')));
  EXPECT_FALSE(TMask(thirty).Matches(std::string(29, 'a')));
  std::string runs;
  for (int i = 0; i < 30; ++i) runs += "***?a";
  EXPECT_NO_THROW(TMask{runs});
  // Many groups against a long name that almost matches must still end quickly.
  EXPECT_FALSE(TMask(thirty + "b").Matches(std::string(5000, 'a')));
}

TEST(MaskTest, InvalidUTF8BytesMatchOnlyThemselves) {
  const std::string name = "pic\xff.jpg";
  EXPECT_TRUE(TMask("*.jpg").Matches(name));
  EXPECT_TRUE(TMask("pic?.jpg").Matches(name));
  EXPECT_TRUE(TMask("pic\xff.jpg").Matches(name));
  EXPECT_FALSE(TMask("pic\xfe.jpg").Matches(name));
}

TEST(MaskTest, SplitsAListIntoMasks) {
  using List = std::vector<std::string>;
  const List dialog = {"*.bmp", "*.jpg", "*.jpeg", "*.gif", "*.tiff"};
  const struct {
    const char* list;
    List masks;
  } cases[] = {
      {"*.bmp, *.jpg, *.jpeg, *.gif, *.tiff", dialog},
      {"*.bmp,*.jpg,*.jpeg,*.gif,*.tiff", dialog},
      {"   *.bmp  ,  *.jpg ,*.jpeg   ,   *.gif,*.tiff   ", dialog},
      {"my photo*, a b", {"my photo*", "a b"}},
      {"", {}},
      {"  ", {}},
      {",*.jpg, ,,*.gif,", {"*.jpg", "*.gif"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.list);
    EXPECT_EQ(SplitMaskList(c.list), c.masks);
  }
}

TEST(MaskTest, TheDialogListFindsPictureNamesOnly) {
  const struct {
    const char* name;
    bool found;
  } cases[] = {
      {"photo.JPG", true}, {"scan.tiff", true},      {"a.bmp", true},    {"b.jpeg", true},
      {"c.GIF", true},     {"scan.tif", false},      {"pic.pcx", false}, {"drawing.wmf", false},
      {"jpg", false},      {"photo.jpg.txt", false},
  };
  std::vector<TMask> masks;
  for (const std::string& mask : SplitMaskList("*.bmp, *.jpg, *.jpeg, *.gif, *.tiff")) {
    masks.emplace_back(mask);
  }
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const bool found = std::any_of(masks.begin(), masks.end(),
                                   [&](const TMask& mask) { return mask.Matches(c.name); });
    EXPECT_EQ(found, c.found);
  }
}

}  // namespace
}  // namespace sk
