// libFuzzer entry point for the store's key filters: the first byte holds the case mode (bit 0)
// and the anchor characters' choice (bit 1), the rest is a filter and a key separated by the first
// NUL byte. Both matchers must end on every filter and key; a pattern must compile within its size
// limit or be invalid; a filter of letters and digits alone must accept itself with either
// matcher; TKeyFilter must agree with the matcher it holds; and the filter's bytes run as a
// compiled program must never read outside it.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "store/KESFilter.h"

namespace {

bool LettersAndDigits(std::string_view text) {
  for (const char c : text) {
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool case_sensitive = (data[0] & 1) != 0;
  const bool other_anchors = (data[0] & 2) != 0;
  const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  const size_t split = input.find('\0');
  const std::string_view filter = input.substr(0, split).substr(0, sk::kMaxFilterLength);
  const std::string_view key =
      split == std::string_view::npos ? std::string_view() : input.substr(split + 1);

  const bool plain = other_anchors ? sk::PlainMatch(key, filter, case_sensitive, '{', '}')
                                   : sk::PlainMatch(key, filter, case_sensitive);
  const sk::TPatternProgram program = sk::CompilePattern(filter, case_sensitive);
  if (program.valid != !program.code.empty()) std::abort();
  if (program.code.size() > sk::kMaxPatternProgram) std::abort();
  const bool pattern = sk::PatternMatch(key, program, case_sensitive);

  if (!filter.empty() && LettersAndDigits(filter)) {
    if (!sk::PlainMatch(filter, filter, case_sensitive)) std::abort();
    if (!program.valid || !sk::PatternMatch(filter, program, case_sensitive)) std::abort();
  }

  if (!other_anchors) {
    sk::TKeyFilter key_filter;
    key_filter.Set(filter, false, case_sensitive);
    if (!filter.empty() && key_filter.Passes(key) != plain) std::abort();
    key_filter.Set(filter, true, case_sensitive);
    if (!filter.empty() && key_filter.Passes(key) != pattern) std::abort();
  }

  // The filter's bytes as a program, as a damaged one might be: it must match or not, no more.
  sk::TPatternProgram raw;
  raw.code.assign(filter.begin(), filter.end());
  raw.valid = !raw.code.empty();
  sk::PatternMatch(key, raw, case_sensitive);
  return 0;
}
