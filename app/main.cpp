// stillkeep: the picture vault's desktop program. It takes no command-line arguments.
#include "app/MainForm.h"

#include <QSocketNotifier>

#include "app/Application.h"
#include "app/Prompts.h"
#include "platform/TerminationSignals.h"

int main(int argc, char** argv) {
  sk::TApplication app(argc, argv);
  app.setWindowIcon(QIcon(QStringLiteral(":/icons/stillkeep.png")));
  sk::TQtPrompts prompts;
  int result = 0;
  {
    sk::TMainForm form(prompts);
    prompts.SetParent(&form);
    app.ShowException = [&prompts](const QString& message) { prompts.ShowError(message); };
    // SIGTERM (a logout, a shutdown), SIGINT and SIGHUP end the program as its exit does.
    sk::CatchTerminationSignals();
    QSocketNotifier termination(sk::TerminationSignalDescriptor(), QSocketNotifier::Read);
    QObject::connect(&termination, &QSocketNotifier::activated, &form,
                     [&form] { form.EndOnSignal(); });
    form.show();
    result = app.exec();
    app.ShowException = nullptr;
    prompts.SetParent(nullptr);
  }
  return result;
}
