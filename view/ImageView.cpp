// The picture view widget: scroll bars, origin and zoom handling, and painting straight from
// the picture's own rows.
#include "view/ImageView.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStyle>
#include <QWheelEvent>
#include <algorithm>
#include <array>
#include <utility>

namespace sk {

namespace {

constexpr uint32_t kSystemColorFlag = 0x80000000u;
constexpr QSize kDefaultSize{105, 105};
// Showing a scroll bar only ever enlarges the limits and hiding one only shrinks them, so the
// layout settles within a few passes; the bound guards against a style that reports odd sizes.
constexpr int kMaxLayoutPasses = 4;

// System colour indexes and the palette colours that stand for them.
struct TSystemColor {
  uint32_t index;
  QPalette::ColorGroup group;
  QPalette::ColorRole role;
};
constexpr std::array kSystemColors{
    TSystemColor{5, QPalette::Active, QPalette::Base},              // window
    TSystemColor{8, QPalette::Active, QPalette::Text},              // window text
    TSystemColor{13, QPalette::Active, QPalette::Highlight},        // highlight
    TSystemColor{14, QPalette::Active, QPalette::HighlightedText},  // highlighted text
    TSystemColor{15, QPalette::Active, QPalette::Button},           // button face
    TSystemColor{16, QPalette::Active, QPalette::Dark},             // button shadow
    TSystemColor{17, QPalette::Disabled, QPalette::Text},           // grey text
    TSystemColor{18, QPalette::Active, QPalette::ButtonText},       // button text
    TSystemColor{20, QPalette::Active, QPalette::Light},            // button highlight
    TSystemColor{21, QPalette::Active, QPalette::Shadow},           // dark shadow
    TSystemColor{23, QPalette::Active, QPalette::ToolTipText},      // tool tip text
    TSystemColor{24, QPalette::Active, QPalette::ToolTipBase},      // tool tip background
};

TScrollRequest RequestOf(int action) {
  switch (action) {
    case QAbstractSlider::SliderSingleStepSub: return TScrollRequest::kLineBack;
    case QAbstractSlider::SliderSingleStepAdd: return TScrollRequest::kLineForward;
    case QAbstractSlider::SliderPageStepSub: return TScrollRequest::kPageBack;
    case QAbstractSlider::SliderPageStepAdd: return TScrollRequest::kPageForward;
    case QAbstractSlider::SliderMove: return TScrollRequest::kThumbTrack;
    case QAbstractSlider::SliderToMinimum: return TScrollRequest::kToStart;
    case QAbstractSlider::SliderToMaximum: return TScrollRequest::kToEnd;
    default: return TScrollRequest::kOther;
  }
}

}  // namespace

Qt::CursorShape ViewCursorShape(TViewCursor cursor) {
  switch (cursor) {
    case TViewCursor::kZoomOut: return Qt::SizeFDiagCursor;
    case TViewCursor::kZoomIn: return Qt::SizeAllCursor;
    case TViewCursor::kEraser: return Qt::ForbiddenCursor;
    case TViewCursor::kHand: return Qt::OpenHandCursor;
    case TViewCursor::kPen: return Qt::IBeamCursor;
    case TViewCursor::kCross:
    case TViewCursor::kCross1:
    case TViewCursor::kCross2: return Qt::CrossCursor;
  }
  return Qt::ArrowCursor;
}

TImageView::TImageView(QWidget* parent)
    : QWidget(parent),
      h_bar_(new QScrollBar(Qt::Horizontal, this)),
      v_bar_(new QScrollBar(Qt::Vertical, this)) {
  // Every pixel is painted by paintEvent, so Qt need not erase first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setCursor(ViewCursorShape(TViewCursor::kCross2));
  for (QScrollBar* bar : {h_bar_, v_bar_}) {
    bar->hide();
    bar->setSingleStep(kScrollLineStep);
  }
  // The bars' own steps are replaced by the view's (a page is 10 pixels, not the page size that
  // sets the thumb's length): each action is turned into a request and applied to the origin.
  connect(h_bar_, &QAbstractSlider::actionTriggered, this,
          [this](int action) { ScrollAction(Qt::Horizontal, action); });
  connect(v_bar_, &QAbstractSlider::actionTriggered, this,
          [this](int action) { ScrollAction(Qt::Vertical, action); });
  connect(h_bar_, &QAbstractSlider::sliderReleased, this,
          [this] { ScrollAction(Qt::Horizontal, QAbstractSlider::SliderNoAction); });
  connect(v_bar_, &QAbstractSlider::sliderReleased, this,
          [this] { ScrollAction(Qt::Vertical, QAbstractSlider::SliderNoAction); });
  resize(kDefaultSize);
}

TImageView::~TImageView() = default;

int TImageView::ClientWidth() const {
  return std::max(width() - (v_bar_->isHidden() ? 0 : v_bar_->sizeHint().width()), 0);
}

int TImageView::ClientHeight() const {
  return std::max(height() - (h_bar_->isHidden() ? 0 : h_bar_->sizeHint().height()), 0);
}

TViewGeometry TImageView::Geometry() const {
  return TViewGeometry{.picture = {Bitmap().Width(), Bitmap().Height()},
                       .zoom = zoom_,
                       .outer = {width(), height()},
                       .client = {ClientWidth(), ClientHeight()}};
}

void TImageView::SetZoom(int percent) {
  if (percent <= 0 || percent == zoom_) return;
  zoom_ = percent;
  Update();
  // repaint() paints at once and leaves nothing for the update requested by Update to redo.
  repaint();
  FireViewChange(1);
}

void TImageView::Fit() {
  if (Bitmap().Empty()) return;
  // A zoom of 0 (a picture over 100 times the widget's size) is ignored by SetZoom.
  SetZoom(FitZoom({Bitmap().Width(), Bitmap().Height()}, {width(), height()}));
}

void TImageView::SetViewX(int x) {
  int max_x = 0;
  int max_y = 0;
  GetMaxViewXY(max_x, max_y);
  view_x_ = std::clamp(x, 0, max_x);
  repaint();
  FireViewChange(0);
  if (scroll_bars_) h_bar_->setValue(view_x_);
}

void TImageView::SetViewY(int y) {
  int max_x = 0;
  int max_y = 0;
  GetMaxViewXY(max_x, max_y);
  view_y_ = std::clamp(y, 0, max_y);
  repaint();
  FireViewChange(0);
  if (scroll_bars_) v_bar_->setValue(view_y_);
}

void TImageView::GetMaxViewXY(int& max_x, int& max_y) const {
  const TViewSize max = Geometry().MaxView();
  max_x = max.width;
  max_y = max.height;
}

void TImageView::SetScrollBars(bool on) {
  scroll_bars_ = on;
  if (!on) {
    v_bar_->hide();
    h_bar_->hide();
    LayOutBars();
  }
  Update();
}

void TImageView::SetBackground(uint32_t color) {
  TPictureHost::SetBackground(color);
  Update();
  ImageChange();
}

uint32_t TImageView::ResolveColor(uint32_t color) const {
  if ((color & kSystemColorFlag) == 0) return TPictureHost::ResolveColor(color);
  const uint32_t index = color & ~kSystemColorFlag;
  const auto* found = std::find_if(kSystemColors.begin(), kSystemColors.end(),
                                   [index](const TSystemColor& c) { return c.index == index; });
  if (found == kSystemColors.end()) return TPictureHost::ResolveColor(color);
  const QColor resolved = palette().color(found->group, found->role);
  return static_cast<uint32_t>(resolved.red()) | static_cast<uint32_t>(resolved.green()) << 8 |
         static_cast<uint32_t>(resolved.blue()) << 16;
}

void TImageView::Update() {
  CheckCacheSource();
  for (int pass = 0; pass < kMaxLayoutPasses; ++pass) {
    const int client_width = ClientWidth();
    const int client_height = ClientHeight();
    int max_x = 0;
    int max_y = 0;
    GetMaxViewXY(max_x, max_y);
    if (view_x_ > max_x) {
      view_x_ = max_x;
      FireViewChange(0);
    }
    if (view_y_ > max_y) {
      view_y_ = max_y;
      FireViewChange(0);
    }
    if (scroll_bars_) {
      ApplyBar(*h_bar_, max_x, client_width);
      ApplyBar(*v_bar_, max_y, client_height);
      h_bar_->setValue(view_x_);
      v_bar_->setValue(view_y_);
      LayOutBars();
    }
    if (ClientWidth() == client_width && ClientHeight() == client_height) break;
  }
  update();
}

void TImageView::ApplyBar(QScrollBar& bar, int max_origin, int client_length) {
  if (max_origin <= 0) {
    bar.hide();
    return;
  }
  // A Qt scroll bar's maximum is the largest thumb position and its page step the thumb's share,
  // so the bar spans 0 ... client + max - 1, the whole zoomed picture, with the client as page.
  bar.setRange(0, max_origin);
  bar.setPageStep(client_length);
  bar.show();
}

void TImageView::LayOutBars() {
  const int bar_width = v_bar_->sizeHint().width();
  const int bar_height = h_bar_->sizeHint().height();
  const bool both = !h_bar_->isHidden() && !v_bar_->isHidden();
  v_bar_->setGeometry(width() - bar_width, 0, bar_width, height() - (both ? bar_height : 0));
  h_bar_->setGeometry(0, height() - bar_height, width() - (both ? bar_width : 0), bar_height);
}

void TImageView::ImageChange() {
  cache_valid_ = false;
  if (OnImageChange) OnImageChange(*this);
}

void TImageView::ScrollAction(Qt::Orientation orientation, int action) {
  int max_x = 0;
  int max_y = 0;
  GetMaxViewXY(max_x, max_y);
  const TScrollRequest request = RequestOf(action);
  if (orientation == Qt::Horizontal) {
    SetViewX(ScrollTarget(request, view_x_, h_bar_->sliderPosition(), max_x));
  } else {
    SetViewY(ScrollTarget(request, view_y_, v_bar_->sliderPosition(), max_y));
  }
}

void TImageView::FireViewChange(int change) {
  if (OnViewChange) OnViewChange(*this, change);
}

QColor TImageView::ColorOf(uint32_t color) const {
  const uint32_t rgb = ResolveColor(color);
  return QColor(static_cast<int>(rgb & 0xFF), static_cast<int>(rgb >> 8 & 0xFF),
                static_cast<int>(rgb >> 16 & 0xFF));
}

void TImageView::CheckCacheSource() {
  const TPicture& picture = Bitmap();
  if (picture.Data() != cache_data_ || picture.Width() != cache_size_.width ||
      picture.Height() != cache_size_.height) {
    cache_valid_ = false;
  }
}

void TImageView::RefreshCache() {
  CheckCacheSource();
  if (cache_valid_) return;
  const TPicture& picture = Bitmap();
  cache_ = QImage();
  if (!picture.Empty()) {
    // The picture's rows are blue, green, red triples padded to 4 bytes: the layout of
    // Format_BGR888, which wraps them without a copy. Painting converts only the rows it draws
    // (about 2 ms for a window-sized stretch), where converting a 12-megapixel picture up front
    // costs well over 100 ms every time a picture is shown.
    cache_ = QImage(picture.Data(), picture.Width(), picture.Height(),
                    static_cast<qsizetype>(picture.RowBytes()), QImage::Format_BGR888);
  }
  cache_data_ = picture.Data();
  cache_size_ = {picture.Width(), picture.Height()};
  cache_valid_ = true;
}

void TImageView::paintEvent(QPaintEvent* /*event*/) {
  RefreshCache();
  const TViewGeometry geometry = Geometry();
  const TPaintRects rects = geometry.Paint(view_x_, view_y_);
  const int client_width = geometry.client.width;
  const int client_height = geometry.client.height;
  QPainter painter(this);
  const QColor background = ColorOf(Background());
  // The picture starts at the top-left corner; the background shows to its right and below.
  if (rects.dst_width < client_width || rects.dst_height < client_height) {
    painter.fillRect(rects.dst_width, 0, client_width - rects.dst_width, client_height, background);
    painter.fillRect(0, rects.dst_height, client_width, client_height - rects.dst_height,
                     background);
  }
  // The square between two visible bars belongs to neither.
  if (!h_bar_->isHidden() && !v_bar_->isHidden()) {
    painter.fillRect(
        QRect(client_width, client_height, width() - client_width, height() - client_height),
        palette().color(QPalette::Button));
  }
  if (Bitmap().Height() < 1 || rects.dst_width <= 0 || rects.dst_height <= 0) return;
  const QRect destination(0, 0, rects.dst_width, rects.dst_height);
  // Without SmoothPixmapTransform the stretch takes the nearest source pixel.
  painter.drawImage(destination, cache_,
                    QRect(rects.src_x, rects.src_y, rects.src_width, rects.src_height));
}

void TImageView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayOutBars();
  Update();
}

void TImageView::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) update();
}

void TImageView::wheelEvent(QWheelEvent* event) {
  const QPoint turned = event->angleDelta();
  if (event->modifiers() & Qt::ControlModifier) {
    zoom_wheel_ += turned.y() != 0 ? turned.y() : turned.x();
    const int notches = zoom_wheel_ / kWheelNotch;
    zoom_wheel_ -= notches * kWheelNotch;
    const int old_zoom = zoom_;
    const int new_zoom = old_zoom + notches * kWheelZoomStep;
    // As the zoom buttons: a zoom of 0 or below is ignored.
    if (notches != 0 && new_zoom > 0) {
      const QPoint pointer = event->position().toPoint();
      const int x = OriginAfterZoom(view_x_, pointer.x(), old_zoom, new_zoom);
      const int y = OriginAfterZoom(view_y_, pointer.y(), old_zoom, new_zoom);
      SetZoom(new_zoom);
      SetViewX(x);
      SetViewY(y);
    }
    event->accept();
    return;
  }
  int across = turned.x();
  int down = turned.y();
  if (event->modifiers() & Qt::ShiftModifier) std::swap(across, down);
  // Turning the wheel away from the user moves the picture down: the origin goes back.
  if (across != 0) SetViewX(view_x_ - across * kWheelScrollStep / kWheelNotch);
  if (down != 0) SetViewY(view_y_ - down * kWheelScrollStep / kWheelNotch);
  event->accept();
}

}  // namespace sk
