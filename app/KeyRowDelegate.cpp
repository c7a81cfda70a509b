#include "app/KeyRowDelegate.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>

namespace sk {

void TKeyRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
  const QStyle* style = option.widget ? option.widget->style() : QApplication::style();
  const QPalette::ColorGroup group = !(option.state & QStyle::State_Enabled) ? QPalette::Disabled
                                     : (option.state & QStyle::State_Active) ? QPalette::Active
                                                                             : QPalette::Inactive;
  const bool selected = (option.state & QStyle::State_Selected) != 0;
  if (selected) painter->fillRect(option.rect, option.palette.brush(group, QPalette::Highlight));

  const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, option.widget) + 1;
  const QRect area = option.rect.adjusted(margin, 0, -margin, 0);
  const QStaticText& text = LaidOut(index.data(Qt::DisplayRole).toString(), area.width(), option);
  painter->save();
  painter->setFont(option.font);
  painter->setPen(
      option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
  const qreal top = area.top() + (area.height() - text.size().height()) / 2;
  painter->drawStaticText(QPointF(area.left(), top), text);
  painter->restore();

  if (option.state & QStyle::State_HasFocus) {
    QStyleOptionFocusRect focus;
    focus.QStyleOption::operator=(option);
    focus.backgroundColor =
        option.palette.color(group, selected ? QPalette::Highlight : QPalette::Window);
    style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, option.widget);
  }
}

const QStaticText& TKeyRowDelegate::LaidOut(const QString& text, int width,
                                            const QStyleOptionViewItem& option) const {
  const QString name =
      QString::number(width) + QLatin1Char('\n') + option.font.key() + QLatin1Char('\n') + text;
  if (QStaticText* kept = laid_out_.object(name)) return *kept;
  auto laid_out =
      std::make_unique<QStaticText>(option.fontMetrics.elidedText(text, Qt::ElideRight, width));
  laid_out->setTextFormat(Qt::PlainText);
  laid_out->prepare(QTransform(), option.font);
  QStaticText* kept = laid_out.get();
  laid_out_.insert(name, laid_out.release());
  return *kept;
}

}  // namespace sk
