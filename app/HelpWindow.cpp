// The help window.
#include "app/HelpWindow.h"

#include <QApplication>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "app/Messages.h"

namespace sk {

QUrl HelpTopicUrl(int context) {
  QUrl url(QString::fromUtf8(app_msg::kHelpDocument));
  url.setFragment(QStringLiteral("context-%1").arg(context));
  return url;
}

THelpWindow::THelpWindow(QWidget* parent) : QWidget(parent, Qt::Window), home_(parent) {
  setWindowTitle(QString::fromUtf8(app_msg::kHelpCaption));
  browser_ = new QTextBrowser(this);
  // Links to the web or mail leave the program; links inside the document stay here.
  browser_->setOpenExternalLinks(true);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(browser_);
  resize(560, 480);
}

void THelpWindow::ShowContext(int context) {
  // A window that does not belong to the open modal dialog would be blocked by it.
  QWidget* modal = QApplication::activeModalWidget();
  QWidget* owner = modal != nullptr && modal != this ? modal : home_.data();
  if (owner != nullptr && owner != parentWidget()) {
    const QRect frame = geometry();
    setParent(owner, Qt::Window);
    setGeometry(frame);
  }
  browser_->setSource(HelpTopicUrl(context));
  show();
  raise();
  activateWindow();
}

}  // namespace sk
