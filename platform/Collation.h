// Locale-aware comparison of keys (Windows-1252 byte strings) for the store's sorted key lists.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace sk {

// Compares keys in the order of the user's collation locale (LC_ALL, then LC_COLLATE, then LANG;
// the root collation when that is unset, C or POSIX). The order is strict and total:
// - case-sensitive: two keys are equal only when their bytes are identical;
// - case-insensitive: letters that differ only in case compare equal, and two keys are equal
//   exactly when they are identical after case folding.
// Every other collator tie is broken by the bytes, so sorted lists never hold ambiguous pairs.
class TCollator {
 public:
  // locale: an ICU or POSIX locale name ("de_DE.UTF-8", "C", ""); "" and C/POSIX mean root.
  explicit TCollator(const std::string& locale);
  ~TCollator();
  TCollator(const TCollator&) = delete;
  TCollator& operator=(const TCollator&) = delete;

  // Negative, zero or positive as a sorts before, equal to or after b.
  int Compare(std::string_view a, std::string_view b, bool case_sensitive) const;

  // The collator for the user's locale from the environment, made on first use.
  static const TCollator& Default();
  // The locale name the environment selects for collation ("" for root).
  static std::string LocaleFromEnvironment();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace sk
