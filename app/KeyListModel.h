// TKeyListModel: the key list's rows. It reads the keys from the open store's own list (a filtered
// store's keys are copied), as the store keeps them (Windows-1252), and turns a row into screen
// text only when the row is shown.
#pragma once

#include <QAbstractListModel>
#include <string>
#include <string_view>
#include <vector>

#include "store/KES.h"

namespace sk {

class TKeyListModel : public QAbstractListModel {
  Q_OBJECT

 public:
  using QAbstractListModel::QAbstractListModel;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  // The key as text (DisplayRole) and, since long keys are cut off by the list's width, as its
  // hint (ToolTipRole).
  QVariant data(const QModelIndex& index, int role) const override;

  // Shows every key of store, in its order: rows read the store's own list, so nothing is
  // copied. The store must outlive the model or be replaced by another ShowStore or SetKeys.
  void ShowStore(const TKES& store);
  // Shows keys of the list's own (a filtered store's), in order.
  void SetKeys(std::vector<std::string> keys);
  // While showing a store: it gained a key at row, or lost the key at row. Between the store's
  // change and this call the rows already read the changed store; only their number waits.
  void KeyInserted(int row);
  void KeyRemoved(int row);
  bool ShowsStore() const { return store_ != nullptr; }

  int Count() const { return rows_; }
  // The key at row; empty for a row the store no longer has (it shrank and the list is not yet
  // told).
  std::string_view Key(int row) const;

 private:
  const TKES* store_ = nullptr;
  std::vector<std::string> keys_;  // the keys shown when no store is
  int rows_ = 0;
};

}  // namespace sk
