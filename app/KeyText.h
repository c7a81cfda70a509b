// Keys on screen: the store keeps keys as Windows-1252 bytes, the windows show them in Unicode.
#pragma once

#include <QString>
#include <string>
#include <string_view>

#include "store/KESNames.h"  // kMaxKeyLength, the longest key the store keeps

namespace sk {

// A store key as text for the screen.
QString KeyToText(std::string_view key);

// Text from the screen as a store key: converted to Windows-1252 (a character Windows-1252 cannot
// hold becomes "?") and cut to 255 characters.
std::string TextToKey(const QString& text);

}  // namespace sk
