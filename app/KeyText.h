// Keys on screen: the store keeps keys as Windows-1252 bytes, the windows show them in Unicode.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace sk {

// A store key as text for the screen.
QString KeyToText(std::string_view key);

// Text from the screen as a store key, as KeyFromText converts it: a character Windows-1252
// cannot hold becomes "?", and the key is cut to 255 characters.
std::string TextToKey(const QString& text);

}  // namespace sk
