// The view's arithmetic without a window: zoomed size, fitting, origin limits, paint rectangles
// and scroll requests.
#include <gtest/gtest.h>

#include <limits>

#include "view/ViewGeometry.h"

namespace sk {
namespace {

constexpr int kIntMax = std::numeric_limits<int>::max();

TEST(ViewGeometryTest, ZoomedSizeRoundsToNearest) {
  struct Case {
    TViewSize picture;
    int zoom;
    TViewSize zoomed;
  };
  const Case cases[] = {
      {{1024, 768}, 37, {379, 284}},  // 378.88 and 284.16
      {{1024, 768}, 100, {1024, 768}},
      {{2, 2}, 200, {4, 4}},
      {{3, 1}, 50, {2, 1}},  // 1.5 and 0.5: halves round up
      {{1, 1}, 49, {0, 0}},
      {{0, 0}, 500, {0, 0}},
      {{300, 200}, 127, {381, 254}},
      {{1'000'000, 1}, 1'000'000, {kIntMax, 10'000}},  // limited to the int range
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.picture.width << "x" << c.picture.height << " @" << c.zoom);
    EXPECT_EQ(
        (TViewGeometry{.picture = c.picture, .zoom = c.zoom, .outer = {}, .client = {}}.Zoomed()),
        c.zoomed);
  }
}

TEST(ViewGeometryTest, FitTakesTheSmallerWholePercentage) {
  struct Case {
    TViewSize picture;
    TViewSize outer;
    int zoom;
  };
  const Case cases[] = {
      {{1024, 768}, {383, 297}, 37},  // min(37, 38)
      {{300, 200}, {383, 297}, 127},  // small pictures are enlarged
      {{383, 297}, {383, 297}, 100},
      {{10, 1000}, {383, 297}, 29},
      {{0, 768}, {383, 297}, 0},
      {{1024, 0}, {383, 297}, 0},
      {{40'000, 10}, {383, 297}, 0},  // over 100 times wider than the widget
      {{1, 1}, {30'000'000, 30'000'000}, kIntMax},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.picture.width << "x" << c.picture.height << " in "
                                    << c.outer.width << "x" << c.outer.height);
    EXPECT_EQ(FitZoom(c.picture, c.outer), c.zoom);
  }
}

TEST(ViewGeometryTest, FitOfAPictureAsLargeAsTheWidgetIsExactly100) {
  // A floating-point quotient such as 1024 / (1024 x 0.01) may fall just below 100.
  for (int side = 1; side <= 4096; ++side) {
    ASSERT_EQ(FitZoom({side, side + 1}, {side, side + 1}), 100) << side;
  }
}

TEST(ViewGeometryTest, MaxViewIsZoomedLessClientUnlessThePictureFitsTheOuterSize) {
  struct Case {
    const char* what;
    TViewSize picture;
    int zoom;
    TViewSize outer;
    TViewSize client;
    TViewSize max;
  };
  const Case cases[] = {
      {"fits the client", {100, 100}, 100, {200, 200}, {200, 200}, {0, 0}},
      {"fit at 37", {1024, 768}, 37, {383, 297}, {383, 297}, {0, 0}},
      {"wider than the client, fits the outer size",
       {195, 190},
       100,
       {200, 200},
       {184, 184},
       {0, 0}},
      {"exactly the outer size", {200, 200}, 100, {200, 200}, {184, 184}, {0, 0}},
      {"one pixel wider than the outer size", {201, 150}, 100, {200, 200}, {200, 184}, {1, 0}},
      {"taller under a horizontal bar", {400, 190}, 100, {200, 200}, {184, 184}, {216, 6}},
      {"both directions", {1024, 768}, 100, {383, 297}, {367, 281}, {657, 487}},
      {"zoomed", {100, 100}, 250, {105, 105}, {89, 89}, {161, 161}},
      {"zoomed to nothing", {1024, 768}, 0, {10, 10}, {10, 10}, {0, 0}},
      {"one side zoomed to nothing", {1000, 1}, 10, {10, 10}, {10, 10}, {0, 0}},
      {"empty", {0, 0}, 100, {10, 10}, {10, 10}, {0, 0}},
      {"no client area", {kIntMax, 100}, 100, {10, 10}, {0, 0}, {kIntMax, 100}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const TViewGeometry geometry{
        .picture = c.picture, .zoom = c.zoom, .outer = c.outer, .client = c.client};
    EXPECT_EQ(geometry.MaxView(), c.max);
  }
}

TEST(ViewGeometryTest, PaintStretchesTheVisiblePartFromTheTopLeftCorner) {
  struct Case {
    const char* what;
    TViewSize picture;
    int zoom;
    TViewSize client;
    int view_x;
    int view_y;
    TPaintRects rects;
  };
  const Case cases[] = {
      // Strips of 383 - 379 = 4 and 297 - 284 = 13 pixels are left for the background.
      {"fit at 37", {1024, 768}, 37, {383, 297}, 0, 0, {379, 284, 0, 0, 1024, 768}},
      {"2x2 at 200", {2, 2}, 200, {105, 105}, 0, 0, {4, 4, 0, 0, 2, 2}},
      {"scrolled at 200", {100, 100}, 200, {50, 60}, 30, 41, {50, 60, 15, 21, 25, 30}},
      {"scrolled at 50", {400, 400}, 50, {100, 100}, 100, 0, {100, 100, 200, 0, 200, 200}},
      {"unscrolled at 100", {640, 480}, 100, {300, 200}, 7, 9, {300, 200, 7, 9, 300, 200}},
      // 3 at 133 is 4 zoomed pixels: origin 2 maps to 1.5 and rounds to 2, a width of 2 would
      // pass the edge and is cut to 1.
      {"kept inside the picture", {3, 3}, 133, {2, 2}, 2, 2, {2, 2, 2, 2, 1, 1}},
      // 2 zoomed pixels of a picture at 1000 % are 0.2 picture pixels: at least one is taken.
      {"at least one pixel", {10, 10}, 1000, {2, 2}, 0, 98, {2, 2, 0, 10 - 1, 1, 1}},
      {"empty picture", {0, 0}, 100, {105, 105}, 0, 0, {0, 0, 0, 0, 0, 0}},
      {"no client area", {10, 10}, 100, {0, 0}, 0, 0, {0, 0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const TViewGeometry geometry{
        .picture = c.picture, .zoom = c.zoom, .outer = c.client, .client = c.client};
    EXPECT_EQ(geometry.Paint(c.view_x, c.view_y), c.rects);
  }
}

TEST(ViewGeometryTest, ScrollRequestsStepInZoomedPixels) {
  struct Case {
    TScrollRequest request;
    int current;
    int thumb;
    int max;
    int target;
  };
  const Case cases[] = {
      {TScrollRequest::kLineBack, 50, 0, 100, 49},
      {TScrollRequest::kLineForward, 50, 0, 100, 51},
      {TScrollRequest::kPageBack, 50, 0, 100, 40},
      {TScrollRequest::kPageForward, 50, 0, 100, 60},
      {TScrollRequest::kThumbTrack, 50, 77, 100, 77},
      {TScrollRequest::kToStart, 50, 77, 100, 0},
      {TScrollRequest::kToEnd, 50, 77, 100, 100},
      {TScrollRequest::kOther, 50, 77, 100, 50},
      // Clamped to 0 ... max.
      {TScrollRequest::kLineBack, 0, 0, 100, 0},
      {TScrollRequest::kPageBack, 5, 0, 100, 0},
      {TScrollRequest::kPageForward, 95, 0, 100, 100},
      {TScrollRequest::kThumbTrack, 50, 150, 100, 100},
      {TScrollRequest::kPageForward, kIntMax - 3, 0, kIntMax, kIntMax},
      {TScrollRequest::kToEnd, 0, 0, 0, 0},
      // The thumb position is a 16-bit value.
      {TScrollRequest::kThumbTrack, 0, 65'535, 100'000, 65'535},
      {TScrollRequest::kThumbTrack, 0, 70'000, 100'000, 70'000 - 65'536},
      {TScrollRequest::kPageForward, 70'000, 0, 100'000, 70'010},
      {TScrollRequest::kToEnd, 0, 0, 100'000, 100'000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "request " << static_cast<int>(c.request) << " from "
                                    << c.current << " thumb " << c.thumb << " max " << c.max);
    EXPECT_EQ(ScrollTarget(c.request, c.current, c.thumb, c.max), c.target);
  }
}

TEST(ViewGeometryTest, ZoomingAboutThePointerKeepsThePointUnderIt) {
  const struct {
    int origin, pointer, old_zoom, new_zoom, expected;
  } cases[] = {
      {0, 0, 100, 200, 0},       // about the corner: the origin stays
      {0, 50, 100, 200, 50},     // point 50 moves to 100, 50 from the edge
      {100, 40, 100, 110, 114},  // point 140 becomes 154
      {114, 40, 110, 100, 100},  // and back
      {0, 100, 100, 50, -50},    // reducing may ask for a negative origin (the view clamps)
      {33, 17, 37, 27, 19},      // 50 at 37 % is 36.49 at 27 %: rounded to 36
      {2'000'000'000, 2'000'000'000, 1, 1000, std::numeric_limits<int>::max()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.origin << " " << c.pointer << " " << c.old_zoom << "->" << c.new_zoom);
    EXPECT_EQ(OriginAfterZoom(c.origin, c.pointer, c.old_zoom, c.new_zoom), c.expected);
  }
}

}  // namespace
}  // namespace sk
