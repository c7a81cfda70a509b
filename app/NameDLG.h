// TNameDLG: the modal dialog that asks for the name of a picture being added. It has only an "OK"
// button: once a file is chosen the add goes on under the name given here.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace sk {

class TNameDLG : public QDialog {
  Q_OBJECT

 public:
  // Caption "Enter a name", label "Enter a name for the picture:", one edit (Windows-1252
  // characters, at most 255) and "OK" (default).
  explicit TNameDLG(QWidget* parent = nullptr);

  QLineEdit& Edit() const { return *edit_; }
  QLabel& Label() const { return *label_; }
  QPushButton& OkButton() const { return *ok_; }
  // "OK" accepts; Escape (and the window manager's close request) rejects, which cancels the add.

 private:
  QLabel* label_;
  QLineEdit* edit_;
  QPushButton* ok_;
};

}  // namespace sk
