// Conversion between Windows-1252 byte strings (keys and passwords as the store keeps them) and
// Unicode (UTF-8 and UTF-16) at the program's edge.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sk {

// The Unicode code point of one Windows-1252 byte. The five bytes Windows-1252 leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the same value, so every byte
// round-trips.
char16_t Win1252ToUnicode(uint8_t byte);

// The Windows-1252 byte for a code point, or nothing when the character has none.
std::optional<uint8_t> UnicodeToWin1252(char32_t code_point);

std::string Win1252ToUtf8(std::string_view bytes);

// Converts UTF-8 text to Windows-1252. With a replacement character, characters that have no
// Windows-1252 byte (and malformed UTF-8) become it; without one the conversion fails instead.
std::optional<std::string> Utf8ToWin1252(std::string_view utf8,
                                         std::optional<char> replacement = std::nullopt);

// Converts UTF-8 text to Windows-1252, spelling each run of characters that have no
// Windows-1252 byte the nearest way Latin letters can (ICU's "Any-Latin; Latin-ASCII", so
// "日本 Ωmega" becomes "ri ben Omega"); what even that cannot spell (and malformed UTF-8) becomes
// "?". For names proposed to the user, who can still change them.
std::string Utf8ToWin1252Nearest(std::string_view utf8);

}  // namespace sk
