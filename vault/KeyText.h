// Keys from text: the store keeps keys as at most 255 Windows-1252 bytes, people type and see
// UTF-8. Every front end converts through these, so one limit and one rule hold everywhere.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "store/KESNames.h"  // kMaxKeyLength

namespace sk {

// Raised when text cannot name an existing key exactly.
class EKeyText : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Text as a key for a new item: a character Windows-1252 cannot hold becomes "?", and the key is
// cut to kMaxKeyLength characters.
std::string KeyFromText(std::string_view utf8);

// Text as the key of an existing item, converted exactly. Raises EKeyText when a character cannot
// be held in a key or the key would be longer than kMaxKeyLength characters.
std::string ExactKeyFromText(std::string_view utf8);

// A key as UTF-8 text.
std::string KeyToUtf8(std::string_view key);

// The key proposed for a picture file: its name without the folder (UTF-8 text, in which
// characters Windows-1252 cannot hold are spelled the nearest way Latin letters can, see
// Utf8ToWin1252Nearest), with the extension handled by NameFromFileName.
std::string KeyForFile(const std::string& file_name);

}  // namespace sk
