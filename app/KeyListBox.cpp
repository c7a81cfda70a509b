// The key list's model and view.
#include "app/KeyListBox.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QStringList>

#include "app/KeyText.h"

namespace sk {

int TKeyListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : Count();
}

QVariant TKeyListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= Count()) return {};
  if (role == Qt::DisplayRole || role == Qt::ToolTipRole) return KeyToText(Key(index.row()));
  return {};
}

void TKeyListModel::SetKeys(std::vector<std::string> keys) {
  beginResetModel();
  keys_ = std::move(keys);
  endResetModel();
}

void TKeyListModel::InsertKey(int row, std::string key) {
  beginInsertRows(QModelIndex(), row, row);
  keys_.insert(keys_.begin() + row, std::move(key));
  endInsertRows();
}

void TKeyListModel::RemoveKey(int row) {
  beginRemoveRows(QModelIndex(), row, row);
  keys_.erase(keys_.begin() + row);
  endRemoveRows();
}

TKeyListBox::TKeyListBox(QWidget* parent) : QTableView(parent), model_(this), delegate_(this) {
  setModel(&model_);
  setItemDelegate(&delegate_);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setShowGrid(false);
  setWordWrap(false);
  setTabKeyNavigation(false);
  horizontalHeader()->hide();
  horizontalHeader()->setStretchLastSection(true);
  verticalHeader()->hide();
  // Every row has the same height, so only the visible rows are ever laid out.
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 2);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
    if (!quiet_) emit SelectionChanged();
  });
}

void TKeyListBox::SetKeys(std::vector<std::string> keys) {
  quiet_ = true;
  model_.SetKeys(std::move(keys));
  selectionModel()->clear();
  quiet_ = false;
}

void TKeyListBox::InsertKey(int row, std::string key) {
  quiet_ = true;
  model_.InsertKey(row, std::move(key));
  quiet_ = false;
}

void TKeyListBox::RemoveKey(int row) {
  quiet_ = true;
  model_.RemoveKey(row);
  quiet_ = false;
}

QString TKeyListBox::Text(int row) const {
  return KeyToText(Key(row));
}

QStringList TKeyListBox::Texts() const {
  QStringList texts;
  texts.reserve(count());
  for (int row = 0; row < count(); ++row) texts.append(Text(row));
  return texts;
}

int TKeyListBox::currentRow() const {
  const QModelIndexList selected = selectionModel()->selectedRows();
  return selected.isEmpty() ? -1 : selected.front().row();
}

void TKeyListBox::setCurrentRow(int row) {
  quiet_ = true;
  if (row >= 0 && row < count()) {
    const QModelIndex index = model_.index(row);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    scrollTo(index);
  } else {
    selectionModel()->clearSelection();
    selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
  }
  quiet_ = false;
}

void TKeyListBox::ClickRow(int row) {
  setCurrentRow(row);
  emit SelectionChanged();
}

QItemSelectionModel::SelectionFlags TKeyListBox::selectionCommand(const QModelIndex& index,
                                                                  const QEvent* event) const {
  if (!index.isValid()) return QItemSelectionModel::NoUpdate;
  return QTableView::selectionCommand(index, event);
}

}  // namespace sk
