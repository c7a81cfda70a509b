// Windows-1252 <-> Unicode tables and UTF-8 coding.
#include "platform/Win1252.h"

#include <unicode/translit.h>
#include <unicode/unistr.h>

#include <array>
#include <memory>
#include <mutex>
#include <utility>

namespace sk {

namespace {

// Code points of the bytes 0x80..0x9F; the rest of Windows-1252 equals Latin-1.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Decodes one UTF-8 sequence at text[i]; returns false for a malformed one (i then skips a byte).
bool NextCodePoint(std::string_view text, size_t& i, char32_t& cp) {
  const auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
  const uint8_t lead = byte(i);
  size_t length = lead < 0x80           ? 1
                  : (lead >> 5) == 0x6  ? 2
                  : (lead >> 4) == 0xE  ? 3
                  : (lead >> 3) == 0x1E ? 4
                                        : 0;
  if (length == 0 || i + length > text.size()) {
    ++i;
    return false;
  }
  cp = length == 1   ? lead
       : length == 2 ? (lead & 0x1F)
       : length == 3 ? (lead & 0x0F)
                     : (lead & 0x07);
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) {
      ++i;
      return false;
    }
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  static constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
  i += length;
  return cp >= kMinimum[length] && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
}

}  // namespace

char16_t Win1252ToUnicode(uint8_t byte) {
  return byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : char16_t{byte};
}

std::optional<uint8_t> UnicodeToWin1252(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<uint8_t>(cp);
  for (size_t i = 0; i < kHighControls.size(); ++i) {
    if (kHighControls[i] == cp) return static_cast<uint8_t>(0x80 + i);
  }
  return std::nullopt;
}

std::string Win1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const char c : bytes) AppendUtf8(out, Win1252ToUnicode(static_cast<uint8_t>(c)));
  return out;
}

std::optional<std::string> Utf8ToWin1252(std::string_view utf8, std::optional<char> replacement) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    char32_t cp = 0;
    const bool ok = NextCodePoint(utf8, i, cp);
    const std::optional<uint8_t> byte = ok ? UnicodeToWin1252(cp) : std::nullopt;
    if (byte) {
      out += static_cast<char>(*byte);
    } else if (replacement) {
      out += *replacement;
    } else {
      return std::nullopt;
    }
  }
  return out;
}

namespace {

// Spells UTF-16 text in Latin letters; one transliterator for the process, made on first use (it
// takes milliseconds to build) and used by one thread at a time.
std::u16string ToLatin(const std::u16string& text) {
  static std::mutex mutex;
  static std::unique_ptr<icu::Transliterator> latin;
  static bool tried = false;
  const std::lock_guard lock(mutex);
  if (!tried) {
    tried = true;
    UErrorCode status = U_ZERO_ERROR;
    latin.reset(
        icu::Transliterator::createInstance("Any-Latin; Latin-ASCII", UTRANS_FORWARD, status));
    if (U_FAILURE(status)) latin.reset();
  }
  if (!latin) return std::u16string();
  icu::UnicodeString unicode(text.data(), static_cast<int32_t>(text.size()));
  latin->transliterate(unicode);
  return std::u16string(unicode.getBuffer(), static_cast<size_t>(unicode.length()));
}

void AppendNearest(std::string& out, const std::u16string& run) {
  const std::u16string latin = ToLatin(run);
  const std::u16string& spelled = latin.empty() ? run : latin;
  for (size_t i = 0; i < spelled.size(); ++i) {
    const char16_t unit = spelled[i];
    // A character outside the basic plane (two units) has no Windows-1252 byte either.
    const bool pair = unit >= 0xD800 && unit <= 0xDBFF && i + 1 < spelled.size();
    if (pair) ++i;
    const std::optional<uint8_t> byte = pair ? std::nullopt : UnicodeToWin1252(unit);
    out += byte ? static_cast<char>(*byte) : '?';
  }
}

}  // namespace

std::string Utf8ToWin1252Nearest(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  std::u16string run;  // characters without a Windows-1252 byte, spelled together
  for (size_t i = 0; i < utf8.size();) {
    char32_t cp = 0;
    if (!NextCodePoint(utf8, i, cp)) {
      if (!run.empty()) AppendNearest(out, std::exchange(run, {}));
      out += '?';
      continue;
    }
    if (const std::optional<uint8_t> byte = UnicodeToWin1252(cp)) {
      if (!run.empty()) AppendNearest(out, std::exchange(run, {}));
      out += static_cast<char>(*byte);
    } else if (cp < 0x10000) {
      run += static_cast<char16_t>(cp);
    } else {
      run += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      run += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    }
  }
  if (!run.empty()) AppendNearest(out, run);
  return out;
}

}  // namespace sk
