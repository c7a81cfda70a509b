// A compiled file-name mask: asterisks, question marks, sets with "!" and ranges, letters A to Z
// compared without regard to case.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "scan/ScanErrors.h"

namespace sk {

// Names and masks are UTF-8; each character (code point) is one unit of a match. A byte that is
// not part of a valid UTF-8 sequence is a character of its own that matches only itself.
class TMask {
 public:
  // Compiles mask. Rules: "*" matches any run of characters, also an empty one, and a "?" right
  // after it is ignored; "?" elsewhere matches one character; "[...]" matches one character of the
  // set, "[!...]" one character not in it; "a-z" inside a set is the range from a to z (nothing
  // when z lies below a); every other character matches itself, A to Z without regard to case.
  // Raises EMaskError when a set is empty, has no closing bracket or begins with "-" (after the
  // optional "!"), or when the mask holds more than kMaxStarGroups runs of asterisks; the position
  // is that of the set's "]", its "[", the "-", or the first asterisk of the run too many.
  explicit TMask(std::string_view mask);

  // Whether the whole of name matches.
  bool Matches(std::string_view name) const;

  static constexpr int kMaxStarGroups = 30;

 private:
  enum class TElementKind : uint8_t { kLiteral, kAnyOne, kStar, kSet };
  struct TRange {
    char32_t low, high;
  };
  struct TElement {
    TElementKind kind;
    bool negated = false;
    char32_t literal = 0;  // folded to lower case for A to Z
    uint32_t first_range = 0, range_count = 0;
  };

  bool ElementMatches(const TElement& element, char32_t c) const;

  std::vector<TElement> elements_;
  std::vector<TRange> ranges_;
};

// Decodes UTF-8 text into characters, appending them to out; each byte of an invalid sequence
// becomes a character of its own (0xDC00 + byte, outside what valid text decodes to).
void DecodeCharacters(std::string_view text, std::vector<char32_t>& out);

}  // namespace sk

namespace sk {

// Splits a comma-separated mask list into its masks: spaces before a mask and after it are
// dropped, spaces inside it are kept, and empty masks (a leading comma, ", ,") are left out.
std::vector<std::string> SplitMaskList(std::string_view list);

}  // namespace sk
