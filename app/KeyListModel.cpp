// The key list's rows, read from the store or from a copy.
#include "app/KeyListModel.h"

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

void TKeyListModel::ShowStore(const TKES& store) {
  beginResetModel();
  store_ = &store;
  keys_ = {};
  rows_ = store.Count();
  endResetModel();
}

void TKeyListModel::SetKeys(std::vector<std::string> keys) {
  beginResetModel();
  store_ = nullptr;
  keys_ = std::move(keys);
  rows_ = static_cast<int>(keys_.size());
  endResetModel();
}

void TKeyListModel::KeyInserted(int row) {
  beginInsertRows(QModelIndex(), row, row);
  ++rows_;
  endInsertRows();
}

void TKeyListModel::KeyRemoved(int row) {
  beginRemoveRows(QModelIndex(), row, row);
  --rows_;
  endRemoveRows();
}

std::string_view TKeyListModel::Key(int row) const {
  if (row < 0) return {};
  if (store_ != nullptr) return row < store_->Count() ? store_->KeyAt(row) : std::string_view();
  return row < std::ssize(keys_) ? std::string_view(keys_[static_cast<size_t>(row)])
                                 : std::string_view();
}

}  // namespace sk
