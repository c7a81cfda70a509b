// stillkeep: the picture vault's desktop program. "stillkeep FILE..." hands each picture file to
// the running program, as the file manager's "Add To Stillkeep" does, and exits; when no program
// answers, it starts as the program and takes those requests itself.
#include <QFile>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "app/Application.h"
#include "app/MainForm.h"
#include "app/Prompts.h"
#include "app/ShellIntegration.h"
#include "platform/RequestClient.h"
#include "platform/TerminationSignals.h"
#include "platform/qt/RequestServer.h"

namespace {

// How long the sender waits for the running program to take one request.
constexpr int kSendMilliseconds = 10000;

// The argument as an absolute path, as UTF-8 text for the request.
std::string RequestText(const char* argument) {
  std::error_code error;
  std::filesystem::path path = std::filesystem::absolute(argument, error);
  if (error) path = argument;
  return QFile::decodeName(QByteArray::fromStdString(path.string())).toStdString();
}

// Sends the requests to the program serving socket_path; prints why when it refuses.
sk::TSendResult Send(const QString& socket_path, const std::vector<std::string>& requests) {
  if (requests.empty()) return sk::TSendResult::kNoServer;
  const sk::TSendResult result = sk::SendRequests(QFile::encodeName(socket_path).toStdString(),
                                                  sk::kRequestTopic, requests, kSendMilliseconds);
  if (result == sk::TSendResult::kRefused) {
    std::fprintf(stderr, "stillkeep: the running program refused a picture file\n");
  }
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> requests;
  for (int i = 1; i < argc; ++i) requests.push_back(RequestText(argv[i]));
  const QString socket_path = sk::RequestSocketPath(sk::ServiceName(QFile::decodeName(argv[0])));
  switch (Send(socket_path, requests)) {
    case sk::TSendResult::kAccepted: return 0;
    case sk::TSendResult::kRefused: return 1;
    case sk::TSendResult::kNoServer: break;
  }
  // The arguments are files, never options for the toolkit.
  int app_argc = 1;
  sk::TApplication app(app_argc, argv);
  // Lets the desktop match the window to the installed launcher.
  QGuiApplication::setDesktopFileName(QStringLiteral("org.stillkeep.Stillkeep"));
  app.setWindowIcon(QIcon(QStringLiteral(":/icons/stillkeep.png")));
  sk::TQtPrompts prompts;
  int result = 0;
  {
    sk::TMainForm form(prompts);
    prompts.SetParent(&form);
    // Another program started at the same moment and serves the requests: hand them over.
    if (!requests.empty() && form.Shell() != nullptr && !form.Shell()->Serving()) {
      const sk::TSendResult sent = Send(form.Shell()->Paths().socket_path, requests);
      if (sent != sk::TSendResult::kNoServer) return sent == sk::TSendResult::kAccepted ? 0 : 1;
    }
    app.ShowException = [&prompts](const QString& message) { prompts.ShowError(message); };
    // SIGTERM (a logout, a shutdown), SIGINT and SIGHUP end the program as its exit does.
    sk::CatchTerminationSignals();
    QSocketNotifier termination(sk::TerminationSignalDescriptor(), QSocketNotifier::Read);
    // The descriptor stays readable once a signal came: one end is enough.
    QObject::connect(&termination, &QSocketNotifier::activated, &form, [&form, &termination] {
      termination.setEnabled(false);
      form.EndOnSignal();
    });
    form.show();
    // After the start-up's reopening of the last store, as requests the shell would send.
    for (const std::string& request : requests) {
      const QStringList lines{QString::fromStdString(request)};
      QMetaObject::invokeMethod(
          &form, [&form, lines] { form.LoadFileRequest(lines); }, Qt::QueuedConnection);
    }
    result = app.exec();
    app.ShowException = nullptr;
    prompts.SetParent(nullptr);
  }
  return result;
}
