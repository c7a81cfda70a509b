// The password dialog.
#include "app/PasswordDlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Messages.h"
#include "platform/Win1252.h"

namespace sk {

namespace {
constexpr int kMaxPasswordLength = 255;
}  // namespace

QValidator::State TWin1252Validator::validate(QString& input, int&) const {
  if (input.size() > max_length_) return Invalid;
  for (char32_t code_point : input.toUcs4()) {
    if (code_point == 0 || !UnicodeToWin1252(code_point)) return Invalid;
  }
  return Acceptable;
}

TPasswordDlg::TPasswordDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromUtf8(app_msg::kPasswordCaption));
  setModal(true);
  label_ = new QLabel(QString::fromUtf8(app_msg::kPasswordLabel), this);
  edit_ = new QLineEdit(this);
  edit_->setEchoMode(QLineEdit::Password);
  edit_->setMaxLength(kMaxPasswordLength);
  edit_->setValidator(new TWin1252Validator(kMaxPasswordLength, edit_));
  label_->setBuddy(edit_);
  strong_ = new QCheckBox(QString::fromUtf8(app_msg::kStrongEncryption), this);
  strong_->hide();

  auto* buttons = new QDialogButtonBox(this);
  ok_ = buttons->addButton(QString::fromUtf8(app_msg::kOk), QDialogButtonBox::AcceptRole);
  cancel_ = buttons->addButton(QString::fromUtf8(app_msg::kCancel), QDialogButtonBox::RejectRole);
  ok_->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label_);
  layout->addWidget(edit_);
  layout->addWidget(strong_);
  layout->addWidget(buttons);
  setMinimumWidth(280);
}

void TPasswordDlg::SetLabelText(const QString& text) {
  label_->setText(text);
}

void TPasswordDlg::ClearEdit() {
  edit_->clear();
}

std::optional<std::string> TPasswordDlg::Password() const {
  std::optional<std::string> password = Utf8ToWin1252(edit_->text().toStdString());
  if (!password) return std::nullopt;
  if (password->find('\0') != std::string::npos) return std::nullopt;
  return password->substr(0, kMaxPasswordLength);
}

}  // namespace sk
