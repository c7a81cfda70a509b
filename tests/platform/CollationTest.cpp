// Key collation: locale order, the case modes, and a strict total order on Windows-1252 keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
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

// Keys that probe every kind of tie: case and accent variants, characters the collator
// ignores, expansions, digits, punctuation, prefixes and 255-byte keys; then random short keys
// over an alphabet full of such ties.
std::vector<std::string> SortKeyProbes() {
  std::vector<std::string> keys = {
      "", "a", "A", "ab", "aB", "Ab", "AB", "abc", "abcd", "app", "apple", "Apple", "APPLE",
      "apples", "\xE9t\xE9", "\xC9T\xC9", "\xC9t\xE9", "ete", "et\xE9", "\xE4rger", "\xC4rger",
      "arger", "zebra", "\xF6l", "\xD6l", "ol", "o\xDF", "oss", "OSS", "\xE6", "\xC6", "ae",
      "\x8A", "\x9A", "s", "\x8C", "\x9C", "oe", "\xFF", "\x9F", "y", "\xB5", "\xC5", "\xE5",
      "a-b", "a b", "a_b", "a.b", "a'b", "-ab", "a\x01" "b", "a\x7F" "b", "a\xAD" "b", "\x81",
      "\x8D", "a\x81", "1", "10", "2", "a1", "a10", "a2", "IMG_20240612_183455",
      "IMG_20240612_183456", "img_20240612_183455", "IMG_20240612_18345", "picture 0000123",
      "Picture 0000123", std::string(255, 'a'), std::string(254, 'a') + "A",
      std::string(254, 'a'), std::string(254, 'a') + "\xE1", std::string(255, '\xC9'),
      std::string(254, 'a') + "\x01", std::string(253, 'a') + "\x01" "a"};
  const std::string alphabet = "aAeE\xE9\xC9\xDFsS- \x01\xAD" "1\x9A\x8A";
  uint32_t seed = 2024;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
  for (int i = 0; i < 120; ++i) {
    std::string key(next() % 6, ' ');
    for (char& c : key) c = alphabet[(next() >> 8) % alphabet.size()];
    keys.push_back(key);
  }
  for (int i = 0; i < 4; ++i) {
    std::string key(255, ' ');
    for (char& c : key) c = static_cast<char>(1 + (next() >> 8) % 255);
    keys.push_back(key);
    key.back() = key.back() == 'x' ? 'X' : 'x';
    keys.push_back(key);
  }
  return keys;
}

TEST(CollationTest, SortKeysOrderExactlyAsCompare) {
  const std::vector<std::string> keys = SortKeyProbes();
  for (const char* locale : {"", "de_DE.UTF-8", "sv_SE.UTF-8"}) {
    const TCollator collator(locale);
    for (const bool case_sensitive : {true, false}) {
      SCOPED_TRACE(std::string(locale) + (case_sensitive ? " case-sensitive" : " insensitive"));
      std::vector<std::string> sort_keys;
      for (const std::string& key : keys) {
        sort_keys.push_back(collator.SortKey(key, case_sensitive));
      }
      int ties = 0;
      for (size_t i = 0; i < keys.size(); ++i) {
        for (size_t j = 0; j < keys.size(); ++j) {
          const int expected = collator.Compare(keys[i], keys[j], case_sensitive);
          const int c = sort_keys[i].compare(sort_keys[j]);
          if ((c > 0) - (c < 0) != expected) {
            ADD_FAILURE() << "keys " << i << " and " << j << ": Compare gives " << expected;
          }
          ties += expected == 0 && keys[i] != keys[j];
        }
      }
      // The case-insensitive mode must have met keys that differ but compare equal.
      EXPECT_EQ(ties > 0, !case_sensitive);
    }
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
