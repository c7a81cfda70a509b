// The arithmetic of the picture view, kept apart from the widget so that it is tested without a
// window: the zoomed size, the fitting zoom, the limits of the view origin, the rectangles a paint
// stretches, and the origin a scroll request asks for. All lengths are in pixels.
#pragma once

namespace sk {

struct TViewSize {
  int width = 0;
  int height = 0;

  friend bool operator==(const TViewSize&, const TViewSize&) = default;
};

// The part of the picture a paint stretches (source, in picture pixels from its top-left corner)
// onto the rectangle at the widget's top-left corner (destination, in widget pixels).
struct TPaintRects {
  int dst_width = 0;
  int dst_height = 0;
  int src_x = 0;
  int src_y = 0;
  int src_width = 0;
  int src_height = 0;

  friend bool operator==(const TPaintRects&, const TPaintRects&) = default;
};

// A picture shown at a zoom in a widget. The outer size is the whole widget, scroll bars
// included; the client size is the area inside the visible scroll bars.
struct TViewGeometry {
  TViewSize picture;
  int zoom = 100;
  TViewSize outer;
  TViewSize client;

  // Each side of the picture times zoom / 100, rounded to the nearest integer (halves away from
  // zero) and limited to the int range.
  TViewSize Zoomed() const;

  // The largest view origin in each direction: the zoomed size less the client size, at least 0;
  // 0,0 for an empty zoomed picture and for one that fits into the outer size, which therefore is
  // never scrolled.
  TViewSize MaxView() const;

  // What a paint draws with the origin at view_x, view_y (zoomed-picture pixels): the destination
  // is the zoomed picture cut to the client size; the source is the destination mapped back into
  // the picture (origin and size each times picture / zoomed, rounded). Rounding could push the
  // source past the picture's edge or make it empty while the destination is not; it is kept
  // inside the picture and at least one pixel wide and high then, so every destination pixel is
  // covered by the stretch.
  TPaintRects Paint(int view_x, int view_y) const;
};

// The zoom at which the picture fits the outer size: the smaller of floor(100 x outer width /
// picture width) and floor(100 x outer height / picture height), computed exactly. Enlarges small
// pictures as well as reducing large ones. 0 for an empty picture and for one more than 100 times
// larger than the outer size (a zoom the view ignores).
int FitZoom(TViewSize picture, TViewSize outer);

// The mouse wheel: one notch (120 eighths of a degree) scrolls this many zoomed-picture pixels,
// or, with Ctrl, changes the zoom by this many percent, as the zoom buttons do.
inline constexpr int kWheelNotch = 120;
inline constexpr int kWheelScrollStep = 40;
inline constexpr int kWheelZoomStep = 10;

// The origin (in zoomed-picture pixels, one direction) that keeps the picture point under the
// pointer (pointer: widget pixels from the view's left or top edge) where it is when the zoom
// changes from old_zoom to new_zoom (both > 0). Rounded to the nearest pixel, not clamped.
int OriginAfterZoom(int origin, int pointer, int old_zoom, int new_zoom);

// The steps of the view's scroll bars, in zoomed-picture pixels (a page is not a window's size).
inline constexpr int kScrollLineStep = 1;
inline constexpr int kScrollPageStep = 10;

enum class TScrollRequest {
  kLineBack,     // line up or left
  kLineForward,  // line down or right
  kPageBack,
  kPageForward,
  kThumbTrack,  // the thumb is being dragged
  kToStart,
  kToEnd,
  kOther,  // thumb released, end of scrolling, anything else: the origin is re-applied
};

// The origin a scroll request asks for, given the current origin, the thumb position the request
// carries and the largest origin; the result lies in 0 ... max_origin. The thumb position is
// carried as an unsigned 16-bit value, so a dragged thumb reaches origins up to 65535 only.
int ScrollTarget(TScrollRequest request, int current, int thumb_position, int max_origin);

}  // namespace sk
