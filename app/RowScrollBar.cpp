// The key list's scroll bar, painted only when it looks different.
#include "app/RowScrollBar.h"

#include <QStyle>
#include <QStyleOptionSlider>

namespace sk {

TRowScrollBar::TRowScrollBar(QWidget* parent) : QScrollBar(Qt::Vertical, parent) {}

void TRowScrollBar::sliderChange(SliderChange change) {
  // Its range and value show only through the slider and the arrows, and its steps not at all. A
  // style whose bars fade in and out shows them on every change.
  if (change != SliderOrientationChange && isVisible() &&
      !style()->styleHint(QStyle::SH_ScrollBar_Transient, nullptr, this) && Look() == painted_) {
    return;
  }
  QScrollBar::sliderChange(change);
}

void TRowScrollBar::paintEvent(QPaintEvent* event) {
  painted_ = Look();
  QScrollBar::paintEvent(event);
}

TRowScrollBar::TLook TRowScrollBar::Look() const {
  QStyleOptionSlider option;
  initStyleOption(&option);
  return {style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this),
          value() == minimum(), value() == maximum()};
}

}  // namespace sk
