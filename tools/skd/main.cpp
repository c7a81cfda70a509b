// skd: the picture store and the image codecs for scripts, through the program's own code.
#include <QGuiApplication>
#include <cstdio>
#include <exception>
#include <memory>

#include "platform/TerminationSignals.h"
#include "platform/qt/QtMetafileCanvas.h"
#include "tools/skd/Commands.h"
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
  // Metafile text needs Qt's graphics system. It starts only when a metafile is read, on the
  // offscreen platform unless the user chose one, so skd works without a display.
  std::unique_ptr<QGuiApplication> gui;
  sk::skd::SetMetafileCanvasFactory([&gui, &argc, argv](sk::TPicture& picture) {
    if (!gui) {
      if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
      // Start-up notes of the graphics system (a missing runtime folder) are no business of the
      // user's; real errors still show.
      const QtMessageHandler previous = qInstallMessageHandler(
          [](QtMsgType type, const QMessageLogContext&, const QString& text) {
            if (type == QtCriticalMsg || type == QtFatalMsg) {
              std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
            }
          });
      gui = std::make_unique<QGuiApplication>(argc, argv);
      qInstallMessageHandler(previous);
    }
    return sk::MakeQtMetafileCanvas(picture);
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
