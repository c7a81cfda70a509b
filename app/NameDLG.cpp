// The name dialog.
#include "app/NameDLG.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/KeyText.h"
#include "store/KESNames.h"
#include "app/Messages.h"
#include "app/PasswordDlg.h"

namespace sk {

TNameDLG::TNameDLG(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromUtf8(app_msg::kNameCaption));
  setModal(true);
  // A dialog border without the window's own buttons.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  label_ = new QLabel(QString::fromUtf8(app_msg::kNameLabel), this);
  edit_ = new QLineEdit(this);
  edit_->setMaxLength(static_cast<int>(kMaxKeyLength));
  edit_->setValidator(new TWin1252Validator(static_cast<int>(kMaxKeyLength), edit_));
  label_->setBuddy(edit_);
  auto* buttons = new QDialogButtonBox(this);
  ok_ = buttons->addButton(QString::fromUtf8(app_msg::kOk), QDialogButtonBox::AcceptRole);
  ok_->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label_);
  layout->addWidget(edit_);
  layout->addWidget(buttons);
  setMinimumWidth(320);
}

}  // namespace sk
