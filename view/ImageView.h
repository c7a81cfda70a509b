// The picture view: a widget that shows its picture at an integer percentage, scrolls it with its
// own scroll bars, and fills the area the picture does not cover with the background colour.
#pragma once

#include <QImage>
#include <QWidget>
#include <cstdint>
#include <functional>

#include "imaging/PictureHost.h"
#include "view/ViewGeometry.h"

class QScrollBar;

namespace sk {

// The view's eight cursors under the program's cursor numbers; each is shown with a standard Qt
// shape (see ViewCursorShape). The view takes kCross2 at creation.
enum class TViewCursor {
  kZoomOut = 1778,
  kZoomIn,
  kCross,
  kEraser,
  kHand,
  kPen,
  kCross1,
  kCross2,
};

// Maps a view cursor number to the Qt cursor shape that stands for it.
Qt::CursorShape ViewCursorShape(TViewCursor cursor);

class TImageView : public QWidget, public TPictureHost {
  Q_OBJECT

 public:
  // A 105 x 105 opaque widget with zoom 100, origin 0,0, black background, no scroll bars, and
  // the cursor of kCross2.
  explicit TImageView(QWidget* parent = nullptr);
  ~TImageView() override;

  // Magnification in percent, at least 1. Setting a value <= 0 or the current one does nothing;
  // otherwise stores it, runs Update, paints at once and fires OnViewChange(1). The origin keeps
  // its zoomed-pixel value and is only clamped.
  int Zoom() const { return zoom_; }
  void SetZoom(int percent);

  // Sets the zoom (through SetZoom) so that the picture fits the outer size of the widget,
  // enlarging or reducing it. Does nothing for an empty picture.
  void Fit();

  // The view origin in zoomed-picture pixels. The setters clamp to 0 ... max, store, paint at
  // once, fire OnViewChange(0) and move the scroll bar's thumb, also when the value is unchanged.
  int ViewX() const { return view_x_; }
  void SetViewX(int x);
  int ViewY() const { return view_y_; }
  void SetViewY(int y);

  // The largest origin in each direction for the current picture, zoom and size; 0,0 when the
  // zoomed picture fits into the outer size of the widget.
  void GetMaxViewXY(int& max_x, int& max_y) const;

  // Whether the view shows scroll bars when the zoomed picture is larger than the widget.
  // Turning them off hides both; either way Update follows.
  bool ScrollBars() const { return scroll_bars_; }
  void SetScrollBars(bool on);

  // Stored only; the view has no selection.
  bool AnimatedSel() const { return animated_sel_; }
  void SetAnimatedSel(bool on) { animated_sel_ = on; }

  // Stores the colour, then Update and ImageChange.
  void SetBackground(uint32_t color) override;
  // Resolves system colour references through the widget's palette (0x8000000F, button face, is
  // the palette's button colour); plain colours are returned unchanged.
  uint32_t ResolveColor(uint32_t color) const override;

  // Clamps the origin to the limits (firing OnViewChange(0) for each coordinate clamped), shows,
  // hides and sizes the scroll bars, and requests a repaint. Call it after changing the picture;
  // after changing its pixels in place call ImageChange as well, which refreshes the copy the
  // view draws from (loads and TImage::Clear do both).
  void Update() override;
  // Marks the picture as changed for drawing and fires OnImageChange.
  void ImageChange() override;

  // Size of the area inside the visible scroll bars.
  int ClientWidth() const;
  int ClientHeight() const;

  // The scroll bars; each is visible only while ScrollBars() is on and the picture needs it.
  QScrollBar& HorizontalBar() const { return *h_bar_; }
  QScrollBar& VerticalBar() const { return *v_bar_; }

  // Fired after the origin moved (change 0) or the zoom changed (change 1).
  std::function<void(TImageView& sender, int change)> OnViewChange;
  // Fired by ImageChange after the picture was replaced or repainted.
  std::function<void(TImageView& sender)> OnImageChange;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  // The wheel scrolls the picture (sideways with Shift or a sideways wheel); with Ctrl it zooms
  // in or out by kWheelZoomStep per notch about the point under the pointer.
  void wheelEvent(QWheelEvent* event) override;

 private:
  TViewGeometry Geometry() const;
  // Wraps the picture's rows for drawing again when the picture has changed.
  void RefreshCache();
  // Marks the wrapper stale when the picture is no longer the one it was made from.
  void CheckCacheSource();
  // Shows, hides and sizes one scroll bar for the given limit and client length.
  void ApplyBar(QScrollBar& bar, int max_origin, int client_length);
  // Places the visible scroll bars at the right and bottom edges.
  void LayOutBars();
  void ScrollAction(Qt::Orientation orientation, int action);
  void FireViewChange(int change);
  QColor ColorOf(uint32_t color) const;

  int zoom_ = 100;
  int view_x_ = 0;
  int view_y_ = 0;
  bool scroll_bars_ = false;
  bool animated_sel_ = true;
  int zoom_wheel_ = 0;  // eighths of a degree turned with Ctrl towards the next zoom step
  QScrollBar* h_bar_;
  QScrollBar* v_bar_;
  // The picture converted once per change for fast stretching, and what it was made from.
  QImage cache_;
  bool cache_valid_ = false;
  const uint8_t* cache_data_ = nullptr;
  TViewSize cache_size_;
};

}  // namespace sk
