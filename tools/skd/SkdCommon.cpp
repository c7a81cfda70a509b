// Helpers shared by the skd subcommands.
#include "tools/skd/Commands.h"

#include "platform/Win1252.h"

namespace sk::skd {

namespace {
int exit_status = 0;
TMetafileCanvasFactory& CanvasFactory() {
  static TMetafileCanvasFactory factory;
  return factory;
}
constexpr size_t kMaxKeyLength = 255;
}  // namespace

void SetExitStatus(int status) { exit_status = status; }
int ExitStatus() { return exit_status; }

void SetMetafileCanvasFactory(TMetafileCanvasFactory factory) {
  CanvasFactory() = std::move(factory);
}
const TMetafileCanvasFactory& MetafileCanvasFactory() {
  return CanvasFactory();
}

std::string LookupKeyFromUtf8(std::string_view utf8) {
  std::optional<std::string> key = Utf8ToWin1252(utf8);
  if (!key) {
    throw ECommandError("the key '" + std::string(utf8) +
                        "' holds characters a store key cannot hold");
  }
  if (key->size() > kMaxKeyLength) {
    throw ECommandError("the key '" + std::string(utf8) + "' is longer than 255 characters");
  }
  return *key;
}

std::string NewKeyFromUtf8(std::string_view utf8) {
  std::string key = *Utf8ToWin1252(utf8, '?');
  if (key.size() > kMaxKeyLength) key.resize(kMaxKeyLength);
  return key;
}

}  // namespace sk::skd
