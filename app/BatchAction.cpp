// The batch commands' selection dialog.
#include "app/BatchAction.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/KeyText.h"
#include "app/Messages.h"

namespace sk {

namespace {

constexpr int kItemHeight = 16;

}  // namespace

TBatchAction::TBatchAction(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("BatchAction"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  check_list_ = new QListWidget(this);
  check_list_->setUniformItemSizes(true);
  QPalette palette = check_list_->palette();
  palette.setColor(QPalette::Base, palette.color(QPalette::Button));
  check_list_->setPalette(palette);
  select_all_ = new QPushButton(QString::fromUtf8(app_msg::kSelectAll), this);
  deselect_all_ = new QPushButton(QString::fromUtf8(app_msg::kDeselectAll), this);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  auto* row = new QHBoxLayout;
  row->addWidget(select_all_);
  row->addWidget(deselect_all_);
  row->addStretch(1);
  row->addWidget(buttons);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(check_list_, 1);
  layout->addLayout(row);
  connect(select_all_, &QPushButton::clicked, this, [this] { SelectAll(); });
  connect(deselect_all_, &QPushButton::clicked, this, [this] { DeselectAll(); });
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  resize(320, 360);
}

void TBatchAction::SetKeys(const std::vector<std::string>& keys) {
  check_list_->clear();
  for (const std::string& key : keys) {
    auto* item = new QListWidgetItem(KeyToText(key), check_list_);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
    item->setSizeHint(QSize(0, kItemHeight));
  }
}

int TBatchAction::Count() const {
  return check_list_->count();
}

bool TBatchAction::Checked(int index) const {
  return check_list_->item(index)->checkState() == Qt::Checked;
}

void TBatchAction::SetChecked(int index, bool checked) {
  check_list_->item(index)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

void TBatchAction::SelectAll() {
  CheckAll(true);
}

void TBatchAction::DeselectAll() {
  CheckAll(false);
}

void TBatchAction::CheckAll(bool checked) {
  for (int i = 0; i < Count(); ++i) SetChecked(i, checked);
}

}  // namespace sk
