// The real windows behind TPrompts.
#include "app/Prompts.h"

#include <QDialog>
#include <QEvent>
#include <QFileDialog>
#include <QFontMetrics>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <memory>
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

// The widest line of a message box's text, in widths of "M"; and the room a window frame's
// buttons and icon take beside the title.
constexpr int kMessageTextEms = 40;
constexpr int kTitleDecorationWidth = 120;
// A run of this many characters without a blank or separator may break anywhere.
constexpr int kLongestUnbrokenRun = 32;

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

std::unique_ptr<QMessageBox> MakeMessageBox(const QString& text, TMsgDlgType type,
                                            const std::vector<TMsgDlgBtn>& buttons,
                                            TMsgDlgDefault which_default, QWidget* parent) {
  auto box = std::make_unique<QMessageBox>(IconOf(type), QString::fromUtf8(app_msg::kAppTitle),
                                           WrappableText(DisplayText(text)), QMessageBox::NoButton,
                                           parent);
  for (TMsgDlgBtn button : buttons) box->addButton(ToQt(button));
  if (!buttons.empty()) {
    box->setDefaultButton(
        ToQt(which_default == TMsgDlgDefault::kSafe ? buttons.back() : buttons.front()));
    box->setEscapeButton(box->button(ToQt(buttons.back())));
  }
  // Long texts wrap at a readable width instead of widening the box; the title always fits.
  const QFontMetrics metrics(box->font());
  const int text_width = kMessageTextEms * metrics.horizontalAdvance(QLatin1Char('M'));
  if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
    label->setWordWrap(true);
    label->setMaximumWidth(text_width);
  }
  const int title_width = metrics.horizontalAdvance(box->windowTitle()) + kTitleDecorationWidth;
  box->setMinimumWidth(title_width);
  return box;
}

namespace {

// Puts a box's centre on its window's centre now and again once it is shown, when a message box
// has settled its size.
class TCentring : public QObject {
 public:
  TCentring(QWidget& box, const QWidget& window) : QObject(&box), box_(box), window_(&window) {
    box.installEventFilter(this);
  }

  void Place() {
    if (window_.isNull()) return;
    box_.adjustSize();
    QRect placed(QPoint(), box_.frameGeometry().size());
    placed.moveCenter(window_->window()->frameGeometry().center());
    box_.move(placed.topLeft());
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == &box_ && event->type() == QEvent::Show) {
      QMetaObject::invokeMethod(
          this, [this] { Place(); }, Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  QWidget& box_;
  QPointer<const QWidget> window_;
};

}  // namespace

void CentreOn(QWidget& box, const QWidget* window) {
  if (window == nullptr) return;
  (new TCentring(box, *window))->Place();  // owned by the box
}

QString WrappableText(const QString& text) {
  // Paths and other long runs without blanks may break after a separator.
  QString result;
  result.reserve(text.size() + text.size() / 8);
  int run = 0;  // characters since the last blank or place to break
  for (const QChar c : text) {
    result.append(c);
    run = c.isSpace() ? 0 : run + 1;
    const bool separator = c == QLatin1Char('/') || c == QLatin1Char('\\') ||
                           c == QLatin1Char('_') || c == QLatin1Char('-') || c == QLatin1Char('.');
    if ((run > 1 && separator) || run >= kLongestUnbrokenRun) {
      result.append(QChar(0x200B));  // zero-width space: a place to break, nothing to see
      run = 0;
    }
  }
  return result;
}

QString AboutSubject(const QString& text, const QString& subject) {
  return text + QStringLiteral("\r\r'") + subject + QLatin1Char('\'');
}

TMsgDlgBtn TQtPrompts::MessageDlg(const QString& text, TMsgDlgType type,
                                  std::initializer_list<TMsgDlgBtn> buttons,
                                  TMsgDlgDefault which_default) {
  TNormalCursor cursor;
  const std::vector<TMsgDlgBtn> order(buttons);
  const std::unique_ptr<QMessageBox> box =
      MakeMessageBox(text, type, order, which_default, parent_);
  CentreOn(*box, parent_);
  box->exec();
  QAbstractButton* clicked = box->clickedButton();
  for (TMsgDlgBtn button : order) {
    if (clicked == box->button(ToQt(button))) return button;
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
