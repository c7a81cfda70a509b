// TApplication: the program's application object. Any exception that escapes an event handler
// is shown in the application's standard error box and the program goes on.
#pragma once

#include <QApplication>
#include <QString>
#include <exception>
#include <functional>

namespace sk {

// The message of a failure as the user reads it: the exception's text taken as UTF-8 when it is
// valid UTF-8, else as Windows-1252 (the store's messages may quote a key); a fixed text when it
// carries none.
QString FailureText(const std::exception& error);

class TApplication : public QApplication {
  Q_OBJECT

 public:
  TApplication(int& argc, char** argv);

  // Shows the standard error box; set by the main window. Without it the message goes to stderr.
  std::function<void(const QString& message)> ShowException;

  bool notify(QObject* receiver, QEvent* event) override;

 private:
  void Report(const QString& message);
};

}  // namespace sk
