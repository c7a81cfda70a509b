// ICU collation of Windows-1252 keys, with byte-wise tie breaking for a total order.
#include "platform/Collation.h"

#include <unicode/uchar.h>
#include <unicode/ucol.h>
#include <unicode/uversion.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "platform/Win1252.h"

namespace sk {

namespace {

constexpr size_t kMaxKey = 256;

// A key converted to UTF-16 on the stack (keys hold at most 255 bytes; longer ones are cut for
// the collator and settled by the byte comparison).
struct TWide {
  std::array<UChar, kMaxKey> units;
  int32_t length = 0;
  explicit TWide(std::string_view key) {
    static const std::array<UChar, 256> kUnits = [] {
      std::array<UChar, 256> table{};
      for (int byte = 0; byte < 256; ++byte) {
        table[byte] = Win1252ToUnicode(static_cast<uint8_t>(byte));
      }
      return table;
    }();
    const size_t n = std::min(key.size(), kMaxKey);
    for (size_t i = 0; i < n; ++i) units[i] = kUnits[static_cast<uint8_t>(key[i])];
    length = static_cast<int32_t>(n);
  }
};

// Whether every byte is ASCII, where Windows-1252 and UTF-8 agree: such keys reach the collator
// as they are, without a conversion.
bool IsAscii(std::string_view text) {
  unsigned bits = 0;
  for (const char c : text) bits |= static_cast<uint8_t>(c);
  return bits < 0x80;
}

int CompareBytes(std::string_view a, std::string_view b) {
  const int c = a.compare(b);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

// Simple case folding of one Windows-1252 character, for the case-insensitive equality test.
UChar32 Fold(uint8_t byte) { return u_foldCase(Win1252ToUnicode(byte), U_FOLD_CASE_DEFAULT); }

int CompareFolded(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const UChar32 fa = Fold(static_cast<uint8_t>(a[i]));
    const UChar32 fb = Fold(static_cast<uint8_t>(b[i]));
    if (fa != fb) return fa < fb ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

// For each byte, the rank of its simply case-folded character among the distinct folded
// characters of all 256 bytes: one byte per character that orders as CompareFolded does.
const std::array<uint8_t, 256>& FoldedRanks() {
  static const std::array<uint8_t, 256> ranks = [] {
    std::array<UChar32, 256> folded{};
    for (int byte = 0; byte < 256; ++byte) folded[byte] = Fold(static_cast<uint8_t>(byte));
    std::vector<UChar32> distinct(folded.begin(), folded.end());
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    std::array<uint8_t, 256> result{};
    for (int byte = 0; byte < 256; ++byte) {
      const auto at = std::lower_bound(distinct.begin(), distinct.end(), folded[byte]);
      result[byte] = static_cast<uint8_t>(at - distinct.begin());
    }
    return result;
  }();
  return ranks;
}

UCollator* OpenCollator(const std::string& locale, UColAttributeValue strength) {
  UErrorCode status = U_ZERO_ERROR;
  UCollator* collator = ucol_open(locale.c_str(), &status);
  if (U_FAILURE(status)) {
    status = U_ZERO_ERROR;
    collator = ucol_open("", &status);
  }
  if (U_FAILURE(status)) throw std::runtime_error("cannot open the root collation");
  ucol_setStrength(collator, strength);
  return collator;
}

}  // namespace

struct TCollator::Impl {
  std::string locale;  // the name the collators were asked for ("" for root)
  UCollator* case_sensitive = nullptr;
  UCollator* case_insensitive = nullptr;
  ~Impl() {
    if (case_sensitive) ucol_close(case_sensitive);
    if (case_insensitive) ucol_close(case_insensitive);
  }
};

TCollator::TCollator(const std::string& locale) : impl_(std::make_unique<Impl>()) {
  // ICU reads "de_DE.UTF-8" as de_DE; C and POSIX would give code-point order with case as a
  // primary difference, so they use the root collation instead.
  std::string name = locale.substr(0, locale.find_first_of(".@"));
  if (name == "C" || name == "POSIX") name.clear();
  impl_->locale = name;
  impl_->case_sensitive = OpenCollator(name, UCOL_TERTIARY);
  impl_->case_insensitive = OpenCollator(name, UCOL_SECONDARY);
}

TCollator::~TCollator() = default;

int TCollator::Compare(std::string_view a, std::string_view b, bool case_sensitive) const {
  const UCollator* collator = case_sensitive ? impl_->case_sensitive : impl_->case_insensitive;
  const std::string_view cut_a = a.substr(0, kMaxKey), cut_b = b.substr(0, kMaxKey);
  UCollationResult r = UCOL_EQUAL;
  UErrorCode status = U_ZERO_ERROR;
  const bool ascii = IsAscii(cut_a) && IsAscii(cut_b);
  if (ascii) {
    r = ucol_strcollUTF8(collator, cut_a.data(), static_cast<int32_t>(cut_a.size()), cut_b.data(),
                         static_cast<int32_t>(cut_b.size()), &status);
  }
  if (!ascii || U_FAILURE(status)) {
    const TWide wa(a), wb(b);
    r = ucol_strcoll(collator, wa.units.data(), wa.length, wb.units.data(), wb.length);
  }
  if (r == UCOL_LESS) return -1;
  if (r == UCOL_GREATER) return 1;
  return case_sensitive ? CompareBytes(a, b) : CompareFolded(a, b);
}

std::string TCollator::SortKey(std::string_view key, bool case_sensitive) const {
  std::string sort_key;
  SortKey(key, case_sensitive, sort_key);
  return sort_key;
}

void TCollator::SortKey(std::string_view key, bool case_sensitive, std::string& sort_key) const {
  const TWide wide(key);
  const UCollator* collator = case_sensitive ? impl_->case_sensitive : impl_->case_insensitive;
  // Most sort keys fit the stack buffer; a longer one is made again at its full size. The
  // length ICU returns counts the terminating zero, which stays in the result so that a sort key
  // that is a prefix of another sorts first before any tie-break byte is looked at.
  std::array<uint8_t, 512> buffer;
  const int32_t length = ucol_getSortKey(collator, wide.units.data(), wide.length, buffer.data(),
                                         static_cast<int32_t>(buffer.size()));
  if (length <= 0) throw std::runtime_error("cannot make a collation sort key");
  sort_key.clear();
  sort_key.reserve(static_cast<size_t>(length) + key.size());
  if (length <= static_cast<int32_t>(buffer.size())) {
    sort_key.assign(reinterpret_cast<const char*>(buffer.data()), static_cast<size_t>(length));
  } else {
    sort_key.resize(static_cast<size_t>(length));
    ucol_getSortKey(collator, wide.units.data(), wide.length,
                    reinterpret_cast<uint8_t*>(sort_key.data()), length);
  }
  if (case_sensitive) {
    sort_key.append(key);
  } else {
    const std::array<uint8_t, 256>& ranks = FoldedRanks();
    const size_t start = sort_key.size();
    sort_key.resize(start + key.size());
    char* out = sort_key.data() + start;
    for (const char c : key) *out++ = static_cast<char>(ranks[static_cast<uint8_t>(c)]);
  }
}

std::string TCollator::Identity() const {
  // Bumped whenever the tie break after the ICU comparison changes.
  constexpr std::string_view kTieBreak = "tie-break 1";
  auto version_text = [](const UVersionInfo version) {
    char text[U_MAX_VERSION_STRING_LENGTH];
    u_versionToString(version, text);
    return std::string(text);
  };
  UVersionInfo version;
  u_getVersion(version);
  std::string identity = "icu " + version_text(version);
  UErrorCode status = U_ZERO_ERROR;
  const char* locale = ucol_getLocaleByType(impl_->case_sensitive, ULOC_ACTUAL_LOCALE, &status);
  identity += "; locale " + impl_->locale + " as ";
  identity += U_SUCCESS(status) && locale ? locale : "?";
  for (const UCollator* collator : {impl_->case_sensitive, impl_->case_insensitive}) {
    ucol_getVersion(collator, version);
    identity += "; rules " + version_text(version);
  }
  identity += "; ";
  identity += kTieBreak;
  return identity;
}

std::string TCollator::LocaleFromEnvironment() {
  for (const char* variable : {"LC_ALL", "LC_COLLATE", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value && *value) return value;
  }
  return {};
}

const TCollator& TCollator::Default() {
  static const TCollator collator(LocaleFromEnvironment());
  return collator;
}

}  // namespace sk
