// skd's metafile module: the Qt painter behind the metafile canvas, with the graphics system it
// needs for text.
#include <QGuiApplication>
#include <cstdio>
#include <memory>

#include "platform/qt/QtMetafileCanvas.h"
#include "tools/skd/MetafileDrawing.h"

namespace {

class TQtMetafileDrawing final : public sk::skd::TMetafileDrawing {
 public:
  // Starts Qt's graphics system on the offscreen platform unless the user chose one, so skd works
  // without a display.
  TQtMetafileDrawing(int& argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Start-up notes of the graphics system (a missing runtime folder) are no business of the
    // user's; real errors still show.
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
          if (type == QtCriticalMsg || type == QtFatalMsg) {
            std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
          }
        });
    gui_ = std::make_unique<QGuiApplication>(argc, argv);
    qInstallMessageHandler(previous);
  }

  std::unique_ptr<sk::TMetafileCanvas> MakeCanvas(sk::TPicture& picture) override {
    return sk::MakeQtMetafileCanvas(picture);
  }

 private:
  std::unique_ptr<QGuiApplication> gui_;
};

}  // namespace

extern "C" __attribute__((visibility("default"))) std::unique_ptr<sk::skd::TMetafileDrawing>
skd_start_metafile_drawing(int& argc, char** argv) {
  return std::make_unique<TQtMetafileDrawing>(argc, argv);
}
