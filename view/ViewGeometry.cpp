// Zoom, fit, origin limits, paint rectangles and scroll requests of the picture view.
#include "view/ViewGeometry.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace sk {

namespace {

constexpr int kIntMax = std::numeric_limits<int>::max();

int ZoomedLength(int length, int zoom) {
  const double zoomed = std::round(static_cast<double>(length) * zoom / 100.0);
  if (zoomed <= 0) return 0;
  if (zoomed >= kIntMax) return kIntMax;
  return static_cast<int>(zoomed);
}

// The stretch of one direction: origin and destination length in zoomed pixels mapped back to
// picture pixels.
void SourceSpan(int picture, int zoomed, int origin, int destination, int& src, int& src_length) {
  src = 0;
  src_length = 0;
  if (zoomed == 0) return;
  const double scale = static_cast<double>(picture) / zoomed;
  src = static_cast<int>(std::round(scale * origin));
  src_length = static_cast<int>(std::round(scale * destination));
  if (destination <= 0 || picture <= 0) return;
  src = std::clamp(src, 0, picture - 1);
  src_length = std::clamp(src_length, 1, picture - src);
}

int FitOneSide(int outer, int picture) {
  const int64_t zoom = int64_t{100} * std::max(outer, 0) / picture;
  return static_cast<int>(std::min<int64_t>(zoom, kIntMax));
}

}  // namespace

TViewSize TViewGeometry::Zoomed() const {
  return {ZoomedLength(picture.width, zoom), ZoomedLength(picture.height, zoom)};
}

TViewSize TViewGeometry::MaxView() const {
  const TViewSize zoomed = Zoomed();
  if (zoomed.width <= 0 || zoomed.height <= 0) return {};
  if (zoomed.width <= outer.width && zoomed.height <= outer.height) return {};
  // Computed in 64 bits: the client size may be 0 while the zoomed size is near the int limit.
  const auto excess = [](int zoomed_length, int client_length) {
    return static_cast<int>(
        std::clamp<int64_t>(int64_t{zoomed_length} - client_length, 0, kIntMax));
  };
  return {excess(zoomed.width, client.width), excess(zoomed.height, client.height)};
}

TPaintRects TViewGeometry::Paint(int view_x, int view_y) const {
  const TViewSize zoomed = Zoomed();
  TPaintRects rects;
  rects.dst_width = std::max(std::min(zoomed.width, client.width), 0);
  rects.dst_height = std::max(std::min(zoomed.height, client.height), 0);
  SourceSpan(picture.width, zoomed.width, view_x, rects.dst_width, rects.src_x, rects.src_width);
  SourceSpan(picture.height, zoomed.height, view_y, rects.dst_height, rects.src_y,
             rects.src_height);
  return rects;
}

int FitZoom(TViewSize picture, TViewSize outer) {
  if (picture.width <= 0 || picture.height <= 0) return 0;
  return std::min(FitOneSide(outer.width, picture.width), FitOneSide(outer.height, picture.height));
}

int ScrollTarget(TScrollRequest request, int current, int thumb_position, int max_origin) {
  int64_t target = current;
  switch (request) {
    case TScrollRequest::kLineBack: target -= kScrollLineStep; break;
    case TScrollRequest::kLineForward: target += kScrollLineStep; break;
    case TScrollRequest::kPageBack: target -= kScrollPageStep; break;
    case TScrollRequest::kPageForward: target += kScrollPageStep; break;
    case TScrollRequest::kThumbTrack: target = static_cast<uint16_t>(thumb_position); break;
    case TScrollRequest::kToStart: target = 0; break;
    case TScrollRequest::kToEnd: target = max_origin; break;
    case TScrollRequest::kOther: break;
  }
  return static_cast<int>(std::clamp<int64_t>(target, 0, std::max(max_origin, 0)));
}

int OriginAfterZoom(int origin, int pointer, int old_zoom, int new_zoom) {
  // The point lies (origin + pointer) zoomed pixels from the picture's corner: scaled to the new
  // zoom, it must stay pointer pixels from the view's edge.
  const int64_t point = int64_t{origin} + pointer;
  const int64_t scaled = (point * new_zoom * 2 + old_zoom) / (int64_t{old_zoom} * 2);
  return static_cast<int>(std::clamp<int64_t>(scaled - pointer, std::numeric_limits<int>::min(),
                                              std::numeric_limits<int>::max()));
}

}  // namespace sk
