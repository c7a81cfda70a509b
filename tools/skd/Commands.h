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

// Raises ECommandError("interrupted by SIGTERM", ...) once a termination signal has arrived.
void ThrowIfInterrupted();

// Commands that go on after a failure (a batch) record it here; main then exits with it.
void SetExitStatus(int status);
int ExitStatus();

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
void AddScanCommands(CLI::App& app);

}  // namespace sk::skd
