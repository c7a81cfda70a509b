// The application object and its last line of error handling.
#include "app/Application.h"

#include <QIcon>
#include <QStringDecoder>
#include <cstdio>

#include "app/Messages.h"
#include "platform/Win1252.h"

namespace sk {

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
