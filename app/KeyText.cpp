// Conversions between keys and screen text.
#include "app/KeyText.h"

#include "platform/Win1252.h"

namespace sk {

QString KeyToText(std::string_view key) {
  return QString::fromStdString(Win1252ToUtf8(key));
}

std::string TextToKey(const QString& text) {
  std::string key = Utf8ToWin1252(text.toStdString(), '?').value_or(std::string());
  if (key.size() > kMaxKeyLength) key.resize(kMaxKeyLength);
  return key;
}

}  // namespace sk
