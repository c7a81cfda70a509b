// The subcommands of skd and the helpers they share.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "imaging/MetafileCanvas.h"

namespace sk {
class TImageIO;
}  // namespace sk

namespace sk::skd {

// A failure to report to the user: main prints "skd: " + message on stderr and exits 1.
class ECommandError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Commands that go on after a failure (a batch) record it here; main then exits with it.
void SetExitStatus(int status);
int ExitStatus();

// Converts a key typed on the command line (UTF-8) to the store's Windows-1252 bytes.
// For keys that name existing items: an unconvertible character or a key over 255 bytes is an
// ECommandError. For new keys: unconvertible characters become "?" and the key is cut to 255.
std::string LookupKeyFromUtf8(std::string_view utf8);
std::string NewKeyFromUtf8(std::string_view utf8);

// The GIF writer's options on the command line (convert and export), and a GIF save with them.
struct TGifOptions {
  bool interlaced = false;
  bool transparent = false;
  bool lzw = false;  // the run-length scheme is the default, as in the program
};
void AddGifOptions(CLI::App& command, TGifOptions& options);
void SaveGif(TImageIO& io, const std::string& file_name, const TGifOptions& options);

// The canvas every TImageIO of skd draws metafiles with; main sets it (it starts the graphics
// system on first use, so commands that read no metafile never need one).
void SetMetafileCanvasFactory(TMetafileCanvasFactory factory);
const TMetafileCanvasFactory& MetafileCanvasFactory();

// Registration of each group of subcommands on the application.
void AddStoreCommands(CLI::App& app);
void AddImageCommands(CLI::App& app);
void AddPictureCommands(CLI::App& app);

}  // namespace sk::skd
