// The questions the program asks the user: message boxes, the text-input box, the file dialogs
// and its own modal dialogs. Workflows reach them only through TPrompts, so the program shows the
// real windows (TQtPrompts) and tests answer from a script (TScriptedPrompts).
#pragma once

#include <QString>
#include <QStringList>
#include <initializer_list>
#include <memory>
#include <optional>
#include <vector>

class QDialog;
class QMessageBox;
class QWidget;

namespace sk {

enum class TMsgDlgType { kConfirmation, kInformation, kWarning, kError };
enum class TMsgDlgBtn { kYes, kNo, kOk, kCancel };
// Which button Enter presses: the first (the usual), or the refusing last one, for questions
// whose first answer loses something (a picture, a store, unsaved changes).
enum class TMsgDlgDefault { kFirst, kSafe };

class TPrompts {
 public:
  virtual ~TPrompts() = default;

  // Shows text in a message box of the given type with the given buttons (the first is the
  // default unless which_default says the last) and returns the button chosen. Closing the box without a button gives the last
  // button of the list, which is always the refusing one ("No" or "Cancel") where there is one.
  // "\r" and "\r\n" in text are line breaks.
  virtual TMsgDlgBtn MessageDlg(const QString& text, TMsgDlgType type,
                                std::initializer_list<TMsgDlgBtn> buttons,
                                TMsgDlgDefault which_default = TMsgDlgDefault::kFirst) = 0;

  // The application's standard error box: shows a failure's message with an "OK" button.
  virtual void ShowError(const QString& text) = 0;

  // The store open dialog: the chosen path (which need not exist) or nothing when cancelled.
  // The dialog starts in folder when it is given (the folder of the store opened last).
  virtual std::optional<QString> OpenStoreFile(const QString& folder = QString()) = 0;

  // The open dialog for pictures (several may be chosen): the chosen files, or an empty list when
  // cancelled.
  virtual QStringList OpenPictureFiles() = 0;

  // The standard text-input box: the text typed, or initial when cancelled.
  virtual QString InputBox(const QString& caption, const QString& prompt,
                           const QString& initial) = 0;

  // Shows one of the program's dialogs modally and returns its result code
  // (QDialog::Accepted or QDialog::Rejected). The dialog keeps what was typed into it.
  virtual int ExecDialog(QDialog& dialog) = 0;
};

// The real windows. Message boxes carry the program's title; every window is placed over parent.
class TQtPrompts : public TPrompts {
 public:
  // parent: the window the boxes belong to (may be null); it must outlive this object.
  explicit TQtPrompts(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }

  TMsgDlgBtn MessageDlg(const QString& text, TMsgDlgType type,
                        std::initializer_list<TMsgDlgBtn> buttons,
                        TMsgDlgDefault which_default = TMsgDlgDefault::kFirst) override;
  void ShowError(const QString& text) override;
  std::optional<QString> OpenStoreFile(const QString& folder = QString()) override;
  QStringList OpenPictureFiles() override;
  QString InputBox(const QString& caption, const QString& prompt, const QString& initial) override;
  int ExecDialog(QDialog& dialog) override;

 private:
  QWidget* parent_;
};

// The picture open dialog's filter: "ALL Files" with every extension the readers take, then one
// entry per format, each extension in lower and upper case ("*.jpeg *.JPEG").
QString OpenPictureFilter();

// Turns the "\r" and "\r\n" line breaks of the program's messages into "\n".
QString DisplayText(const QString& text);

// Marks places where a long run without blanks (a path) may break: after "/", "\\", "_", "-" and
// "." inside a word, and after every 32 characters of a run without any, with a zero-width space.
QString WrappableText(const QString& text);

// A message about one file or picture: text, then the subject's name in quotes on a line of its
// own.
QString AboutSubject(const QString& text, const QString& subject);

// The message box MessageDlg shows: the program's title (never cut: the box is at least as wide
// as the title needs), the text wrapped at about 40 "M" widths (see WrappableText), the buttons
// in order with the default and escape buttons as MessageDlg describes.
std::unique_ptr<QMessageBox> MakeMessageBox(const QString& text, TMsgDlgType type,
                                            const std::vector<TMsgDlgBtn>& buttons,
                                            TMsgDlgDefault which_default, QWidget* parent);

// Places box (sized to its contents) with its centre on the centre of window's top-level window,
// now and again just after it is shown (a message box settles its size then); nothing happens
// without a window.
void CentreOn(QWidget& box, const QWidget* window);

}  // namespace sk
