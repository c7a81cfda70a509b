// The application object and its last line of error handling.
#include "app/Application.h"

#include <malloc.h>

#include <QIcon>
#include <QStringDecoder>
#include <cstdio>

#include "app/Messages.h"
#include "platform/Win1252.h"

namespace sk {

void KeepPictureBuffersForReuse() {
  // Serve even very large blocks from the heap, and keep up to 1 GB of freed heap instead of
  // handing it back at once: the next picture of a similar size takes the freed block.
  mallopt(M_MMAP_THRESHOLD, 512 << 20);
  mallopt(M_TRIM_THRESHOLD, 1024 << 20);
}

QString FailureText(const std::exception& error) {
  const QByteArray bytes(error.what());
  if (bytes.isEmpty()) return QString::fromUtf8(app_msg::kUnknownFailure);
  QStringDecoder decoder(QStringDecoder::Utf8);
  QString text = decoder.decode(bytes);
  if (!decoder.hasError()) return text;
  return QString::fromStdString(Win1252ToUtf8(bytes.toStdString()));
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("stillkeep"));
  setOrganizationName(QStringLiteral("Quillmoor"));
  setApplicationVersion(QStringLiteral("0.5"));
  // Desktops that name no icon theme still get the tool-bar glyphs of a freedesktop theme when
  // one is installed; the program's own glyphs stand in for the rest.
  if (QIcon::fallbackThemeName().isEmpty() ||
      QIcon::fallbackThemeName() == QStringLiteral("hicolor")) {
    QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
  }
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    Report(FailureText(error));
  } catch (...) {
    Report(QString::fromUtf8(app_msg::kUnknownFailure));
  }
  return false;
}

void TApplication::Report(const QString& message) {
  if (ShowException) {
    ShowException(message);
  } else {
    std::fprintf(stderr, "stillkeep: %s\n", message.toLocal8Bit().constData());
  }
}

}  // namespace sk
