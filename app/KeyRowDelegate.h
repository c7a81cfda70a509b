// Paints the key list's rows: the key's text on the row, highlighted when selected. Each text is
// laid out once and kept (as a QStaticText, elided to the row's width), so that a repaint after
// an add or a delete, which shifts every visible row, draws glyphs instead of laying out text
// again.
#pragma once

#include <QCache>
#include <QStaticText>
#include <QStyledItemDelegate>

namespace sk {

class TKeyRowDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;

 private:
  // The text laid out for a width and font, made on first use.
  const QStaticText& LaidOut(const QString& text, int width,
                             const QStyleOptionViewItem& option) const;

  // About a few screens of rows; a row's text, width and font name an entry.
  mutable QCache<QString, QStaticText> laid_out_{512};
};

}  // namespace sk
