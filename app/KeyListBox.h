// TKeyListBox: the key list, a view over the open store's keys in the store's order (see
// TKeyListModel). Every row has the same height, so a row's place is its number times that
// height: the view lays out and paints only the rows it shows, and a key added or deleted costs
// the same in a store of 100,000 keys as in one of ten (Qt's table and list views keep a record
// per row and walk them all on each insert or removal). It scrolls by whole rows, as a list box
// does. Rows are found by the store's own order, never by comparing texts row by row.
#pragma once

#include <QAbstractItemView>
#include <QStringList>
#include <string>
#include <vector>

#include "app/KeyListModel.h"
#include "app/KeyRowDelegate.h"

namespace sk {

class TKeyListBox : public QAbstractItemView {
  Q_OBJECT

 public:
  explicit TKeyListBox(QWidget* parent = nullptr);

  const TKeyListModel& Model() const { return model_; }
  int count() const { return model_.Count(); }
  // Change the keys shown; the selection is cleared (ShowStore, SetKeys) or follows its key
  // (KeyInserted, KeyRemoved), and no SelectionChanged is emitted.
  void ShowStore(const TKES& store);
  void SetKeys(std::vector<std::string> keys);
  void KeyInserted(int row);
  void KeyRemoved(int row);
  bool ShowsStore() const { return model_.ShowsStore(); }
  // The key and its screen text at a row.
  std::string_view Key(int row) const { return model_.Key(row); }
  QString Text(int row) const;
  // Every row's text, in order (for tests and small lists).
  QStringList Texts() const;

  // The selected row, or -1; selecting -1 or a row past the end clears the selection. Neither
  // emits SelectionChanged.
  int currentRow() const;
  void setCurrentRow(int row);
  // Selects row as a click does, emitting SelectionChanged.
  void ClickRow(int row);

  // The item view's geometry, from the uniform row height.
  QRect visualRect(const QModelIndex& index) const override;
  void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
  QModelIndex indexAt(const QPoint& point) const override;

 signals:
  // The selection changed through the user (or ClickRow).
  void SelectionChanged();

 protected:
  // A click below the last key keeps the selection, as a list box does, rather than clearing it
  // (which would clear the picture).
  QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                       const QEvent* event) const override;
  QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
  int horizontalOffset() const override { return 0; }
  int verticalOffset() const override;
  bool isIndexHidden(const QModelIndex&) const override { return false; }
  void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) override;
  QRegion visualRegionForSelection(const QItemSelection& selection) const override;
  void updateGeometries() override;
  void scrollContentsBy(int dx, int dy) override;
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  int RowHeight() const { return row_height_; }
  // The first row shown, and how many rows fit wholly in the viewport (at least one).
  int TopRow() const;
  int RowsPerPage() const;
  // The row at a viewport height, or -1 past the last row.
  int RowAt(int y) const;
  // After rows came or went from first on: the scroll range follows the count and the rows from
  // first down are painted again.
  void RowsChanged(int first);

  TKeyListModel model_;
  TKeyRowDelegate delegate_;
  int row_height_ = 0;
  bool quiet_ = false;  // selection changes made by the program itself
};

}  // namespace sk
