// The key list's view: rows of one height, laid out by arithmetic.
#include "app/KeyListBox.h"

#include <QEvent>
#include <QItemSelectionModel>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStringList>
#include <algorithm>

#include "app/KeyText.h"
#include "app/RowScrollBar.h"

namespace sk {

TKeyListBox::TKeyListBox(QWidget* parent)
    : QAbstractItemView(parent), model_(this), delegate_(this) {
  setModel(&model_);
  setItemDelegate(&delegate_);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBar(new TRowScrollBar);  // the list becomes its parent
  row_height_ = fontMetrics().height() + 2;
  // The item view handles the selection and the current row on these; the view then only needs
  // the new scroll range and a repaint.
  connect(&model_, &QAbstractItemModel::rowsInserted, this,
          [this](const QModelIndex&, int first) { RowsChanged(first); });
  connect(&model_, &QAbstractItemModel::rowsRemoved, this,
          [this](const QModelIndex&, int first) { RowsChanged(first); });
  connect(&model_, &QAbstractItemModel::modelReset, this, [this] { RowsChanged(0); });
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
    if (!quiet_) emit SelectionChanged();
  });
}

void TKeyListBox::ShowStore(const TKES& store) {
  quiet_ = true;
  model_.ShowStore(store);
  selectionModel()->clear();
  quiet_ = false;
}

void TKeyListBox::SetKeys(std::vector<std::string> keys) {
  quiet_ = true;
  model_.SetKeys(std::move(keys));
  selectionModel()->clear();
  quiet_ = false;
}

void TKeyListBox::KeyInserted(int row) {
  quiet_ = true;
  model_.KeyInserted(row);
  quiet_ = false;
}

void TKeyListBox::KeyRemoved(int row) {
  quiet_ = true;
  model_.KeyRemoved(row);
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
  return QAbstractItemView::selectionCommand(index, event);
}

// ---- Geometry ----

int TKeyListBox::TopRow() const {
  return verticalScrollBar()->value();
}

int TKeyListBox::RowsPerPage() const {
  return std::max(1, viewport()->height() / RowHeight());
}

int TKeyListBox::RowAt(int y) const {
  if (y < 0) return -1;
  const int64_t row = int64_t{TopRow()} + y / RowHeight();
  return row < count() ? static_cast<int>(row) : -1;
}

int TKeyListBox::verticalOffset() const {
  return TopRow() * RowHeight();
}

QRect TKeyListBox::visualRect(const QModelIndex& index) const {
  if (!index.isValid() || index.model() != &model_) return {};
  const int64_t top = (int64_t{index.row()} - TopRow()) * RowHeight();
  // Rows far outside the viewport are clamped: only their side of it matters.
  const int clamped =
      static_cast<int>(std::clamp<int64_t>(top, -RowHeight() - 1, viewport()->height() + 1));
  return {0, clamped, viewport()->width(), RowHeight()};
}

QModelIndex TKeyListBox::indexAt(const QPoint& point) const {
  const int row = RowAt(point.y());
  return row < 0 ? QModelIndex() : model_.index(row);
}

void TKeyListBox::scrollTo(const QModelIndex& index, ScrollHint hint) {
  if (!index.isValid()) return;
  const int row = index.row();
  const int page = RowsPerPage();
  int top = TopRow();
  switch (hint) {
    case EnsureVisible:
      if (row < top) {
        top = row;
      } else if (row >= top + page) {
        top = row - page + 1;
      }
      break;
    case PositionAtTop: top = row; break;
    case PositionAtBottom: top = row - page + 1; break;
    case PositionAtCenter: top = row - (page - 1) / 2; break;
  }
  verticalScrollBar()->setValue(top);  // the scroll bar keeps it within its range
}

QModelIndex TKeyListBox::moveCursor(CursorAction action, Qt::KeyboardModifiers) {
  if (count() == 0) return {};
  const QModelIndex current = currentIndex();
  const int row = current.isValid() ? current.row() : -1;
  const int page = RowsPerPage();
  int target = row;
  switch (action) {
    case MoveUp:
    case MovePrevious: target = row - 1; break;
    case MoveDown:
    case MoveNext: target = row + 1; break;
    case MovePageUp: target = row - page; break;
    case MovePageDown: target = row + page; break;
    case MoveHome: target = 0; break;
    case MoveEnd: target = count() - 1; break;
    case MoveLeft:
    case MoveRight: break;
  }
  return model_.index(std::clamp(target, 0, count() - 1));
}

void TKeyListBox::setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) {
  const QRect area = rect.normalized();
  const int first = RowAt(std::max(0, area.top()));
  int last = RowAt(area.bottom());
  if (last < 0) last = count() - 1;
  QItemSelection selection;
  if (first >= 0 && first <= last) selection.select(model_.index(first), model_.index(last));
  selectionModel()->select(selection, command);
}

QRegion TKeyListBox::visualRegionForSelection(const QItemSelection& selection) const {
  QRegion region;
  const int first_shown = TopRow();
  const int last_shown = first_shown + RowsPerPage();
  for (const QItemSelectionRange& range : selection) {
    const int top = std::max(range.top(), first_shown);
    const int bottom = std::min(range.bottom(), last_shown);
    if (top > bottom) continue;
    region += visualRect(model_.index(top)).united(visualRect(model_.index(bottom)));
  }
  return region;
}

void TKeyListBox::updateGeometries() {
  QScrollBar& bar = *verticalScrollBar();
  bar.setSingleStep(1);
  bar.setPageStep(RowsPerPage());
  bar.setRange(0, std::max(0, count() - RowsPerPage()));
  QAbstractItemView::updateGeometries();
}

void TKeyListBox::RowsChanged(int first) {
  updateGeometries();
  // The rows above the first one that came or went stay as they are.
  const int top = std::max(0, static_cast<int>((int64_t{first} - TopRow()) * RowHeight()));
  if (top < viewport()->height()) {
    viewport()->update(0, top, viewport()->width(), viewport()->height() - top);
  }
}

void TKeyListBox::scrollContentsBy(int, int dy) {
  // dy counts rows: the scroll bar's unit.
  viewport()->scroll(0, dy * RowHeight());
}

void TKeyListBox::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange) {
    row_height_ = fontMetrics().height() + 2;
    RowsChanged(0);
  }
  QAbstractItemView::changeEvent(event);
}

// ---- Painting ----

void TKeyListBox::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  QStyleOptionViewItem option;
  initViewItemOption(&option);
  const QStyle::State state = option.state;
  const QModelIndex current = currentIndex();
  const bool focus = (hasFocus() || viewport()->hasFocus()) && current.isValid();
  const int first = RowAt(event->rect().top());
  if (first < 0) return;
  const int last = std::min(count() - 1, TopRow() + event->rect().bottom() / RowHeight());
  for (int row = first; row <= last; ++row) {
    const QModelIndex index = model_.index(row);
    option.rect = visualRect(index);
    option.state = state;
    if (selectionModel()->isSelected(index)) option.state |= QStyle::State_Selected;
    if (focus && index == current) option.state |= QStyle::State_HasFocus;
    itemDelegateForIndex(index)->paint(&painter, option, index);
  }
}

}  // namespace sk
