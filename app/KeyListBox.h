// The key list: a view over the open store's keys in the store's order. Its model keeps the keys
// as the store keeps them (Windows-1252) and turns a row into screen text only when the row is
// painted. It is a one-column table with fixed row heights and no headers, which never lays out
// rows it does not show (a list view lays out every row on each change), so that a store of
// 100,000 keys costs no more to show than one of ten. Rows are found by the store's own order,
// never by comparing texts row by row.
#pragma once

#include <QAbstractListModel>
#include <QTableView>
#include <optional>
#include <string>
#include <vector>

#include "app/KeyRowDelegate.h"

namespace sk {

class TKeyListModel : public QAbstractListModel {
  Q_OBJECT

 public:
  using QAbstractListModel::QAbstractListModel;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  // The key as text (DisplayRole) and, since long keys are cut off by the list's width, as its
  // hint (ToolTipRole).
  QVariant data(const QModelIndex& index, int role) const override;

  // Replaces every key (in the store's order).
  void SetKeys(std::vector<std::string> keys);
  // Inserts key at row, or removes the key at row.
  void InsertKey(int row, std::string key);
  void RemoveKey(int row);

  int Count() const { return static_cast<int>(keys_.size()); }
  const std::string& Key(int row) const { return keys_[static_cast<size_t>(row)]; }

 private:
  std::vector<std::string> keys_;
};

class TKeyListBox : public QTableView {
  Q_OBJECT

 public:
  explicit TKeyListBox(QWidget* parent = nullptr);

  const TKeyListModel& Model() const { return model_; }
  int count() const { return model_.Count(); }
  // Change the keys shown; the selection is cleared (SetKeys) or follows its key, and no
  // SelectionChanged is emitted.
  void SetKeys(std::vector<std::string> keys);
  void InsertKey(int row, std::string key);
  void RemoveKey(int row);
  // The key and its screen text at a row.
  const std::string& Key(int row) const { return model_.Key(row); }
  QString Text(int row) const;
  // Every row's text, in order (for tests and small lists).
  QStringList Texts() const;

  // The selected row, or -1; selecting -1 or a row past the end clears the selection. Neither
  // emits SelectionChanged.
  int currentRow() const;
  void setCurrentRow(int row);
  // Selects row as a click does, emitting SelectionChanged.
  void ClickRow(int row);

 signals:
  // The selection changed through the user (or ClickRow).
  void SelectionChanged();

 protected:
  // A click below the last key keeps the selection, as a list box does, rather than clearing it
  // (which would clear the picture).
  QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                       const QEvent* event) const override;

 private:
  TKeyListModel model_;
  TKeyRowDelegate delegate_;
  bool quiet_ = false;  // selection changes made by the program itself
};

}  // namespace sk
