// The real windows behind TPrompts.
#include "app/Prompts.h"

#include <QDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <vector>

#include "app/BusyCursor.h"
#include "app/Messages.h"
#include "imaging/ImageIO.h"

namespace sk {

namespace {

QMessageBox::StandardButton ToQt(TMsgDlgBtn button) {
  switch (button) {
    case TMsgDlgBtn::kYes: return QMessageBox::Yes;
    case TMsgDlgBtn::kNo: return QMessageBox::No;
    case TMsgDlgBtn::kOk: return QMessageBox::Ok;
    case TMsgDlgBtn::kCancel: return QMessageBox::Cancel;
  }
  return QMessageBox::NoButton;
}

QMessageBox::Icon IconOf(TMsgDlgType type) {
  switch (type) {
    case TMsgDlgType::kConfirmation: return QMessageBox::Question;
    case TMsgDlgType::kInformation: return QMessageBox::Information;
    case TMsgDlgType::kWarning: return QMessageBox::Warning;
    case TMsgDlgType::kError: return QMessageBox::Critical;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

QString OpenPictureFilter() {
  QStringList all;
  QStringList entries;
  for (const TPictureFormat& format : PictureFormats()) {
    QStringList patterns;
    for (const std::string& extension : format.extensions) {
      const QString lower = QStringLiteral("*") + QString::fromStdString(extension);
      patterns << lower << lower.toUpper();
    }
    all << patterns;
    entries
        << QString::fromUtf8(app_msg::kFormatFilesFilter).arg(QString::fromStdString(format.name)) +
               QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
  }
  entries.prepend(QString::fromUtf8(app_msg::kAllFilesFilter) + QStringLiteral(" (") +
                  all.join(QLatin1Char(' ')) + QLatin1Char(')'));
  return entries.join(QStringLiteral(";;"));
}

QString DisplayText(const QString& text) {
  QString result = text;
  result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  result.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return result;
}

TMsgDlgBtn TQtPrompts::MessageDlg(const QString& text, TMsgDlgType type,
                                  std::initializer_list<TMsgDlgBtn> buttons,
                                  TMsgDlgDefault which_default) {
  TNormalCursor cursor;
  QMessageBox box(IconOf(type), QString::fromUtf8(app_msg::kAppTitle), DisplayText(text),
                  QMessageBox::NoButton, parent_);
  std::vector<TMsgDlgBtn> order(buttons);
  for (TMsgDlgBtn button : order) box.addButton(ToQt(button));
  if (!order.empty()) {
    box.setDefaultButton(
        ToQt(which_default == TMsgDlgDefault::kSafe ? order.back() : order.front()));
    box.setEscapeButton(box.button(ToQt(order.back())));
  }
  box.exec();
  QAbstractButton* clicked = box.clickedButton();
  for (TMsgDlgBtn button : order) {
    if (clicked == box.button(ToQt(button))) return button;
  }
  return order.empty() ? TMsgDlgBtn::kOk : order.back();
}

void TQtPrompts::ShowError(const QString& text) {
  MessageDlg(text, TMsgDlgType::kError, {TMsgDlgBtn::kOk});
}

std::optional<QString> TQtPrompts::OpenStoreFile(const QString& folder) {
  TNormalCursor cursor;
  QFileDialog dialog(parent_, QString::fromUtf8(app_msg::kOpenStoreTitle), folder);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  // A name that does not exist is accepted: the store creates it.
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilter(QString::fromUtf8(app_msg::kOpenStoreFilter));
  dialog.setDefaultSuffix(QString::fromUtf8(app_msg::kStoreExtension));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return std::nullopt;
  return files.front();
}

QStringList TQtPrompts::OpenPictureFiles() {
  TNormalCursor cursor;
  QFileDialog dialog(parent_);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFiles);
  dialog.setNameFilter(OpenPictureFilter());
  if (dialog.exec() != QDialog::Accepted) return {};
  return dialog.selectedFiles();
}

QString TQtPrompts::InputBox(const QString& caption, const QString& prompt,
                             const QString& initial) {
  TNormalCursor cursor;
  bool ok = false;
  const QString text =
      QInputDialog::getText(parent_, caption, prompt, QLineEdit::Normal, initial, &ok);
  return ok ? text : initial;
}

int TQtPrompts::ExecDialog(QDialog& dialog) {
  TNormalCursor cursor;
  return dialog.exec();
}

}  // namespace sk
