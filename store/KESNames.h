// How the program turns file names into keys and makes a key unique in a store.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace sk {

class TKES;

inline constexpr size_t kMaxKeyLength = 255;

// Raised when no unique key can be formed within 255 characters.
class EKeyNotUnique : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The key for a file: its name without the folder, without the last four characters when the
// fourth from the end is "." (cat.jpg gives cat; cat.jpeg and a.b stay), cut to 255 characters.
// Works on Windows-1252 bytes.
std::string NameFromFileName(std::string_view file_name);

// Appends " (1)", then " (2)" to that, and so on (cat, cat (1), cat (1) (2)) while FindKey finds
// the key. Raises EKeyNotUnique when the next suffix no longer fits in 255 characters.
std::string UniqueKeyGrowing(TKES& store, std::string key);

// Tries base, then base (1), base (2), ... while FindKey finds the key. Raises EKeyNotUnique when
// a suffix no longer fits in 255 characters.
std::string UniqueKeyNumbered(TKES& store, const std::string& base);

}  // namespace sk
