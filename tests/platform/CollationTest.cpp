// Key collation: locale order, the case modes, and a strict total order on Windows-1252 keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "platform/Collation.h"

namespace sk {
namespace {

TEST(CollationTest, OrdersLikeADictionaryNotLikeBytes) {
  const TCollator collator("en_US.UTF-8");
  std::vector<std::string> keys = {"zebra", "Apple", "\xE9" "clair", "apple", "eclair", "Zebra"};
  std::sort(keys.begin(), keys.end(), [&](const std::string& a, const std::string& b) {
    return collator.Compare(a, b, true) < 0;
  });
  EXPECT_EQ(keys, (std::vector<std::string>{"apple", "Apple", "eclair", "\xE9" "clair", "zebra",
                                            "Zebra"}));
}

TEST(CollationTest, CaseModesDecideEquality) {
  const TCollator collator("en_US");
  struct Case {
    const char* a;
    const char* b;
    bool equal_insensitive;
  };
  for (const Case& c : {Case{"Cat", "cat", true}, Case{"\xC9T\xC9", "\xE9t\xE9", true},
                        Case{"cote", "c\xF4te", false}, Case{"\x8A", "\x9A", true},
                        Case{"a", "a ", false}}) {
    SCOPED_TRACE(c.a);
    EXPECT_EQ(collator.Compare(c.a, c.b, false) == 0, c.equal_insensitive);
    EXPECT_NE(collator.Compare(c.a, c.b, true), 0);
    EXPECT_EQ(collator.Compare(c.a, c.a, true), 0);
    // Antisymmetric in both modes.
    EXPECT_EQ(collator.Compare(c.a, c.b, true), -collator.Compare(c.b, c.a, true));
    EXPECT_EQ(collator.Compare(c.a, c.b, false), -collator.Compare(c.b, c.a, false));
  }
}

TEST(CollationTest, CollatorTiesAreBrokenSoOrderIsTotal) {
  // Characters the collator ignores would make different keys tie; the bytes decide instead.
  const TCollator collator("");
  const std::string a = "ab", b = std::string("a\x01") + "b";
  EXPECT_NE(collator.Compare(a, b, true), 0);
  EXPECT_NE(collator.Compare(a, b, false), 0);
  EXPECT_EQ(collator.Compare(a, b, false), -collator.Compare(b, a, false));
}

TEST(CollationTest, CAndPosixUseTheRootCollation) {
  const TCollator c("C"), posix("POSIX"), root("");
  for (const auto* collator : {&c, &posix}) {
    // Root order puts "apple" before "Banana"; code-point order would not.
    EXPECT_LT(collator->Compare("apple", "Banana", true), 0);
    EXPECT_EQ(collator->Compare("b", "A", false), root.Compare("b", "A", false));
  }
}

TEST(CollationTest, LocaleComesFromEnvironmentInPriorityOrder) {
  ::setenv("LC_ALL", "", 1);
  ::setenv("LC_COLLATE", "sv_SE.UTF-8", 1);
  ::setenv("LANG", "de_DE.UTF-8", 1);
  EXPECT_EQ(TCollator::LocaleFromEnvironment(), "sv_SE.UTF-8");
  ::setenv("LC_ALL", "fr_FR", 1);
  EXPECT_EQ(TCollator::LocaleFromEnvironment(), "fr_FR");
  // Swedish sorts "\xE4" (a-umlaut) after "z"; German sorts it with "a".
  EXPECT_GT(TCollator("sv_SE").Compare("\xE4", "z", true), 0);
  EXPECT_LT(TCollator("de_DE").Compare("\xE4", "z", true), 0);
  ::setenv("LC_ALL", "en_US.UTF-8", 1);
}

}  // namespace
}  // namespace sk
