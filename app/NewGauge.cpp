// Painting and range rules of the status gauge.
#include "app/NewGauge.h"

#include <qdrawutil.h>

#include <QImage>
#include <QPainter>
#include <QStyle>
#include <algorithm>
#include <cstdint>

#include "app/Messages.h"

namespace sk {

namespace {

// The sunken edge is two pixels wide on every side.
constexpr int kEdge = 2;

// a x b / c in 64 bits, so that wide ranges cannot overflow.
int MulDiv(int64_t a, int64_t b, int64_t c) {
  return static_cast<int>(a * b / c);
}

}  // namespace

TNewGauge::TNewGauge(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TNewGauge::SetMinValue(int value) {
  if (value == min_value_) return;
  min_value_ = value;
  max_value_ = std::max(max_value_, value);
  progress_ = std::clamp(progress_, min_value_, max_value_);
  Changed();
}

void TNewGauge::SetMaxValue(int value) {
  if (value == max_value_) return;
  max_value_ = value;
  min_value_ = std::min(min_value_, value);
  progress_ = std::clamp(progress_, min_value_, max_value_);
  Changed();
}

void TNewGauge::SetProgress(int value) {
  const int clamped = std::clamp(value, min_value_, max_value_);
  if (clamped == progress_) return;
  progress_ = clamped;
  Changed();
}

void TNewGauge::SetShowText(bool on) {
  if (on == show_text_) return;
  show_text_ = on;
  Changed();
}

void TNewGauge::SetForeColor(const QColor& color) {
  if (color == fore_color_) return;
  fore_color_ = color;
  Changed();
}

void TNewGauge::SetBackColor(const QColor& color) {
  if (color == back_color_) return;
  back_color_ = color;
  Changed();
}

int TNewGauge::PercentDone() const {
  if (max_value_ == min_value_) return 0;
  return MulDiv(100, int64_t{progress_} - min_value_, int64_t{max_value_} - min_value_);
}

int TNewGauge::FillWidth(int inner_width, int progress, int min_value, int max_value) {
  if (max_value == min_value) return 0;
  return MulDiv(inner_width, int64_t{progress} - min_value, int64_t{max_value} - min_value);
}

void TNewGauge::Changed() {
  ++repaint_requests_;
  update();
}

void TNewGauge::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().window());
  qDrawWinPanel(&painter, rect(), palette(), /*sunken=*/true);
  const QRect inner = rect().adjusted(kEdge, kEdge, -kEdge, -kEdge);
  if (inner.width() < 1 || inner.height() < 1) return;

  // Drawn off screen at the inner size, then copied in one piece, so the gauge never flickers.
  QImage buffer(inner.size(), QImage::Format_RGB32);
  const int fill = FillWidth(inner.width(), progress_, min_value_, max_value_);
  const QRect filled(0, 0, fill, inner.height());
  const QRect rest(fill, 0, inner.width() - fill, inner.height());
  {
    QPainter off(&buffer);
    off.fillRect(filled, fore_color_);
    off.fillRect(rest, back_color_);
    if (show_text_) {
      const QString text = QString::number(PercentDone()) + QString::fromUtf8(app_msg::kPercent);
      off.setFont(font());
      // The text takes the other colour where it crosses the filled part, so it stays readable.
      off.setClipRect(filled);
      off.setPen(back_color_);
      off.drawText(buffer.rect(), Qt::AlignCenter, text);
      off.setClipRect(rest);
      off.setPen(fore_color_);
      off.drawText(buffer.rect(), Qt::AlignCenter, text);
    }
  }
  painter.drawImage(inner.topLeft(), buffer);
}

}  // namespace sk
