// TPasswordDlg: the modal dialog that asks for a store's password. Passwords are typed in Unicode
// and kept by the store in Windows-1252, so the edit accepts only characters that Windows-1252
// can hold, and at most 255 of them.
#pragma once

#include <QDialog>
#include <QValidator>
#include <optional>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace sk {

// Accepts text whose every character has a Windows-1252 byte (no NUL), of at most max_length
// characters.
class TWin1252Validator : public QValidator {
  Q_OBJECT

 public:
  explicit TWin1252Validator(int max_length, QObject* parent = nullptr)
      : QValidator(parent), max_length_(max_length) {}
  State validate(QString& input, int& pos) const override;

 private:
  int max_length_;
};

class TPasswordDlg : public QDialog {
  Q_OBJECT

 public:
  // Caption "Password Dialog", label "Enter password:", a masked edit, "OK" (default), "Cancel".
  explicit TPasswordDlg(QWidget* parent = nullptr);

  QLineEdit& Edit() const { return *edit_; }
  QLabel& Label() const { return *label_; }
  // "Strong encryption (older versions cannot open this store)": hidden unless a password is
  // being set or changed.
  QCheckBox& StrongBox() const { return *strong_; }
  // Later uses of the dialog may change the label's text.
  void SetLabelText(const QString& text);
  void ClearEdit();

  // The edit's text in Windows-1252, cut to 255 characters; nothing when it holds a character
  // Windows-1252 cannot hold (text put there by the program rather than typed).
  std::optional<std::string> Password() const;

 private:
  QLabel* label_;
  QLineEdit* edit_;
  QCheckBox* strong_;
  QPushButton* ok_;
  QPushButton* cancel_;
};

}  // namespace sk
