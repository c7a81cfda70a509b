// skd: the picture store and the image codecs for scripts, through the program's own code.
#include <cstdio>
#include <exception>
#include <memory>

#include "platform/TerminationSignals.h"
#include "tools/skd/Commands.h"
#include "tools/skd/MetafileDrawing.h"
#include "tools/skd/Progress.h"
#include "tools/skd/StoreSession.h"

int main(int argc, char** argv) {
  CLI::App app{"skd - work with Stillkeep picture stores and image files from the command line"};
  app.set_version_flag("--version", std::string("skd ") + SK_VERSION, "Print the version and exit");
  bool quiet = false;
  app.add_flag("--quiet", quiet, "Show no progress line on standard error");
  bool recover = false, discard = false;
  CLI::Option* recover_flag = app.add_flag(
      "--recover", recover,
      "Recover the work of a session of the store that ended without closing");
  app.add_flag("--discard", discard, "Discard the work of such a session")->excludes(recover_flag);
  // --quiet may also follow the command.
  app.fallthrough();
  app.require_subcommand(1);
  app.parse_complete_callback([&] {
    sk::skd::SetProgressShown(!quiet && sk::skd::StandardErrorIsTerminal());
    if (recover) sk::skd::SetStaleSessionChoice(sk::TStaleChoice::kRecover);
    if (discard) sk::skd::SetStaleSessionChoice(sk::TStaleChoice::kDiscard);
  });
  sk::skd::AddStoreCommands(app);
  sk::skd::AddImageCommands(app);
  sk::skd::AddPictureCommands(app);
  sk::skd::AddScanCommands(app);
  // Metafiles are drawn by a module loaded with the first one read. A reader reports any failure
  // to draw as a file it cannot read, so a module that cannot be loaded is named here.
  std::unique_ptr<sk::skd::TMetafileDrawing> drawing;
  sk::skd::SetMetafileCanvasFactory([&drawing, &argc, argv](sk::TPicture& picture) {
    if (!drawing) {
      try {
        drawing = sk::skd::StartMetafileDrawing(argc, argv);
      } catch (const std::exception& e) {
        sk::skd::ClearProgress();
        std::fprintf(stderr, "skd: %s\n", e.what());
        throw;
      }
    }
    return drawing->MakeCanvas(picture);
  });
  // Ctrl+C, SIGTERM and SIGHUP end a command as a failure would: the store is closed, saving what
  // was done, and its working files are removed.
  sk::CatchTerminationSignals();
  int status = 0;
  try {
    app.parse(argc, argv);
    status = sk::skd::ExitStatus();
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return 2;  // usage error
  } catch (const std::exception& e) {
    sk::skd::ClearProgress();
    std::fprintf(stderr, "skd: %s\n", e.what());
    status = 1;
  }
  sk::skd::ClearProgress();
  // The shell's convention for a process ended by a signal.
  if (const int signal_number = sk::PendingTerminationSignal(); signal_number != 0) {
    return 128 + signal_number;
  }
  return status;
}
