// Conversions between keys and screen text, through the shared key rules.
#include "app/KeyText.h"

#include "vault/KeyText.h"

namespace sk {

QString KeyToText(std::string_view key) {
  return QString::fromStdString(KeyToUtf8(key));
}

std::string TextToKey(const QString& text) {
  return KeyFromText(text.toStdString());
}

}  // namespace sk
