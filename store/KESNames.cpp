// File-name keys and unique keys.
#include "store/KESNames.h"

#include "store/KES.h"

namespace sk {

namespace {
[[noreturn]] void NoUniqueName(const std::string& key) {
  throw EKeyNotUnique("No unique name can be made from '" + key + "' within 255 characters");
}
}  // namespace

std::string NameFromFileName(std::string_view file_name) {
  std::string name(file_name.substr(file_name.rfind('/') == std::string_view::npos
                                        ? 0
                                        : file_name.rfind('/') + 1));
  if (name.size() >= 4 && name[name.size() - 4] == '.') name.resize(name.size() - 4);
  if (name.size() > kMaxKeyLength) name.resize(kMaxKeyLength);
  return name;
}

std::string UniqueKeyGrowing(TKES& store, std::string key) {
  for (int n = 1; store.FindKey(key); ++n) {
    const std::string suffix = " (" + std::to_string(n) + ")";
    // A suffix that would be cut off could never make the key unique: stop instead of looping.
    if (key.size() + suffix.size() > kMaxKeyLength) NoUniqueName(key);
    key += suffix;
  }
  return key;
}

std::string UniqueKeyNumbered(TKES& store, const std::string& base) {
  std::string key = base;
  for (int n = 1; store.FindKey(key); ++n) {
    const std::string suffix = " (" + std::to_string(n) + ")";
    if (base.size() + suffix.size() > kMaxKeyLength) NoUniqueName(base);
    key = base + suffix;
  }
  return key;
}

}  // namespace sk
