// Conversions between keys and UTF-8 text.
#include "vault/KeyText.h"

#include "platform/Files.h"
#include "platform/Win1252.h"

namespace sk {

std::string KeyFromText(std::string_view utf8) {
  std::string key = Utf8ToWin1252(utf8, '?').value_or(std::string());
  if (key.size() > kMaxKeyLength) key.resize(kMaxKeyLength);
  return key;
}

std::string ExactKeyFromText(std::string_view utf8) {
  const std::optional<std::string> key = Utf8ToWin1252(utf8);
  if (!key) {
    throw EKeyText("the key '" + std::string(utf8) + "' holds characters a store key cannot hold");
  }
  if (key->size() > kMaxKeyLength) {
    throw EKeyText("the key '" + std::string(utf8) + "' is longer than 255 characters");
  }
  return *key;
}

std::string KeyToUtf8(std::string_view key) {
  return Win1252ToUtf8(key);
}

std::string KeyForFile(const std::string& file_name) {
  return NameFromFileName(Utf8ToWin1252Nearest(ExtractFileName(file_name)));
}

}  // namespace sk
