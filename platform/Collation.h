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

  // The sort key of key under the case mode: a byte string such that comparing the sort keys of
  // two keys as std::string does (unsigned bytes, a proper prefix first) gives the sign of
  // Compare(a, b, case_sensitive), for every pair of keys. It is the ICU sort key of the case
  // mode's collator, with its terminating zero, followed by the tie break: the key's bytes
  // (case-sensitive), or for each byte the rank of its simply case-folded character among the
  // folded characters of Windows-1252 (case-insensitive). Sort keys made by different collators
  // or for different case modes must not be compared. Raises std::runtime_error when ICU cannot
  // make the sort key.
  std::string SortKey(std::string_view key, bool case_sensitive) const;
  // The same into sort_key, whose memory is reused (for a search that makes one per lookup).
  void SortKey(std::string_view key, bool case_sensitive, std::string& sort_key) const;

  // Names the order this collator gives: the ICU version, the locale ICU actually opened and the
  // versions of both collators' rules. Two collators with the same identity order every pair of
  // keys alike, so an order verified under one holds under the other.
  std::string Identity() const;

  // The collator for the user's locale from the environment, made on first use.
  static const TCollator& Default();
  // The locale name the environment selects for collation ("" for root).
  static std::string LocaleFromEnvironment();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace sk
