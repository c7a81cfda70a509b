// Compiling and matching file-name masks.
#include "scan/Mask.h"

#include <cstdio>

namespace sk {

namespace {

char32_t FoldASCII(char32_t c) {
  return c >= U'A' && c <= U'Z' ? c - U'A' + U'a' : c;
}

// The other case of an ASCII letter, or c itself.
char32_t OtherCase(char32_t c) {
  if (c >= U'A' && c <= U'Z') return c - U'A' + U'a';
  if (c >= U'a' && c <= U'z') return c - U'a' + U'A';
  return c;
}

std::string InvalidMaskText(const std::string& mask, int position) {
  const int length = std::snprintf(nullptr, 0, kInvalidMaskMessage, mask.c_str(), position);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  std::snprintf(text.data(), text.size(), kInvalidMaskMessage, mask.c_str(), position);
  text.resize(static_cast<size_t>(length));
  return text;
}

}  // namespace

EMaskError::EMaskError(const std::string& mask, int position)
    : std::runtime_error(InvalidMaskText(mask, position)), mask_(mask), position_(position) {}

void DecodeCharacters(std::string_view text, std::vector<char32_t>& out) {
  const auto byte = [&text](size_t i) { return static_cast<unsigned char>(text[i]); };
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char lead = byte(i);
    size_t length = 0;
    char32_t c = 0, minimum = 0;
    if (lead < 0x80) {
      out.push_back(lead);
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2, c = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3, c = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4, c = lead & 0x07, minimum = 0x10000;
    }
    bool valid = length != 0 && i + length <= text.size();
    for (size_t k = 1; valid && k < length; ++k) {
      if ((byte(i + k) & 0xC0) != 0x80) valid = false;
      c = (c << 6) | (byte(i + k) & 0x3F);
    }
    valid = valid && c >= minimum && c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF);
    if (valid) {
      out.push_back(c);
      i += length;
    } else {
      out.push_back(0xDC00 + lead);
      ++i;
    }
  }
}

TMask::TMask(std::string_view mask) {
  std::vector<char32_t> chars;
  DecodeCharacters(mask, chars);
  const std::string text(mask);
  int star_groups = 0;
  const size_t n = chars.size();
  size_t i = 0;
  while (i < n) {
    const char32_t c = chars[i];
    const bool after_star = !elements_.empty() && elements_.back().kind == TElementKind::kStar;
    if (c == U'*') {
      // A run of asterisks, also one broken only by ignored question marks, is one group.
      if (!after_star) {
        if (++star_groups > kMaxStarGroups) throw EMaskError(text, static_cast<int>(i + 1));
        elements_.push_back({TElementKind::kStar});
      }
      ++i;
    } else if (c == U'?') {
      if (i == 0 || chars[i - 1] != U'*') elements_.push_back({TElementKind::kAnyOne});
      ++i;
    } else if (c == U'[') {
      const size_t open = i;
      TElement set{TElementKind::kSet};
      set.first_range = static_cast<uint32_t>(ranges_.size());
      size_t j = i + 1;
      if (j < n && chars[j] == U'!') {
        set.negated = true;
        ++j;
      }
      if (j >= n) throw EMaskError(text, static_cast<int>(open + 1));
      if (chars[j] == U']') throw EMaskError(text, static_cast<int>(j + 1));
      if (chars[j] == U'-') throw EMaskError(text, static_cast<int>(j + 1));
      while (j < n && chars[j] != U']') {
        if (j + 2 < n && chars[j + 1] == U'-' && chars[j + 2] != U']') {
          ranges_.push_back({chars[j], chars[j + 2]});
          j += 3;
        } else {
          ranges_.push_back({chars[j], chars[j]});
          ++j;
        }
      }
      if (j >= n) throw EMaskError(text, static_cast<int>(open + 1));
      set.range_count = static_cast<uint32_t>(ranges_.size()) - set.first_range;
      elements_.push_back(set);
      i = j + 1;
    } else {
      TElement literal{TElementKind::kLiteral};
      literal.literal = FoldASCII(c);
      elements_.push_back(literal);
      ++i;
    }
  }
}

bool TMask::ElementMatches(const TElement& element, char32_t c) const {
  switch (element.kind) {
    case TElementKind::kLiteral: return FoldASCII(c) == element.literal;
    case TElementKind::kAnyOne: return true;
    case TElementKind::kStar: return false;
    case TElementKind::kSet: {
      const char32_t other = OtherCase(c);
      bool in = false;
      for (uint32_t k = 0; k < element.range_count && !in; ++k) {
        const TRange& range = ranges_[element.first_range + k];
        in = (c >= range.low && c <= range.high) || (other >= range.low && other <= range.high);
      }
      return in != element.negated;
    }
  }
  return false;
}

bool TMask::Matches(std::string_view name) const {
  // Most names are short; keep their characters on the stack of this thread between calls.
  thread_local std::vector<char32_t> chars;
  chars.clear();
  DecodeCharacters(name, chars);
  // Every element but an asterisk takes exactly one character, so going back to the last asterisk
  // and letting it take one more character finds a match whenever there is one.
  const size_t n = chars.size(), m = elements_.size();
  size_t e = 0, s = 0;
  size_t star = m, star_from = 0;
  while (s < n) {
    if (e < m && elements_[e].kind == TElementKind::kStar) {
      star = e++;
      star_from = s;
    } else if (e < m && ElementMatches(elements_[e], chars[s])) {
      ++e;
      ++s;
    } else if (star != m) {
      e = star + 1;
      s = ++star_from;
    } else {
      return false;
    }
  }
  while (e < m && elements_[e].kind == TElementKind::kStar) ++e;
  return e == m;
}

}  // namespace sk

namespace sk {

std::vector<std::string> SplitMaskList(std::string_view list) {
  std::vector<std::string> masks;
  std::string token;
  const auto end_token = [&] {
    while (!token.empty() && token.back() == ' ') token.pop_back();
    if (!token.empty()) masks.push_back(token);
    token.clear();
  };
  for (const char c : list) {
    if (c == ' ' && token.empty()) continue;
    if (c == ',') {
      end_token();
    } else {
      token.push_back(c);
    }
  }
  end_token();
  return masks;
}

}  // namespace sk
