// The picture view as a widget, rendered offscreen: zoom and fit, origin limits and the events
// they fire, scroll bars, and the pixels a paint produces.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QScrollBar>
#include <QWheelEvent>
#include <vector>

#include "ViewTestSupport.h"
#include "view/ImageView.h"

namespace sk {
namespace {

using test::ImageColour;
using test::MakePicture;
using test::Render;

constexpr uint32_t kBackground = 0x00FF00FF;  // magenta, in no test picture
constexpr uint32_t kGrey = 0x00808080;

// A view of the given size showing a one-colour picture, recording its view events.
class ImageViewTest : public testing::Test {
 protected:
  void Show(int picture_width, int picture_height, int view_width, int view_height) {
    view_.resize(view_width, view_height);
    view_.Bitmap() = MakePicture(picture_width, picture_height, [](int, int) { return kGrey; });
    view_.Update();
    view_.OnViewChange = [this](TImageView&, int change) { changes_.push_back(change); };
  }

  // The bar thickness of the style in use.
  int BarWidth() const { return view_.VerticalBar().sizeHint().width(); }
  int BarHeight() const { return view_.HorizontalBar().sizeHint().height(); }

  TImageView view_;
  std::vector<int> changes_;
};

TEST_F(ImageViewTest, StartsWithTheDocumentedDefaults) {
  EXPECT_EQ(view_.size(), QSize(105, 105));
  EXPECT_EQ(view_.Zoom(), 100);
  EXPECT_EQ(view_.ViewX(), 0);
  EXPECT_EQ(view_.ViewY(), 0);
  EXPECT_EQ(view_.Background(), 0u);
  EXPECT_FALSE(view_.ScrollBars());
  EXPECT_TRUE(view_.AnimatedSel());
  EXPECT_TRUE(view_.Bitmap().Empty());
  EXPECT_TRUE(view_.testAttribute(Qt::WA_OpaquePaintEvent));
}

TEST_F(ImageViewTest, FitThenZoomOutInStepsOfTen) {
  Show(1024, 768, 383, 297);
  view_.Fit();
  EXPECT_EQ(view_.Zoom(), 37);
  for (const int expected : {27, 17, 7}) {
    view_.SetZoom(view_.Zoom() - 10);
    EXPECT_EQ(view_.Zoom(), expected);
  }
  view_.SetZoom(view_.Zoom() - 10);  // -3 is ignored
  view_.SetZoom(7);                  // so is the current zoom
  view_.SetZoom(0);
  EXPECT_EQ(view_.Zoom(), 7);
  EXPECT_EQ(changes_, (std::vector<int>{1, 1, 1, 1}));
}

TEST_F(ImageViewTest, FitUsesTheOuterSize) {
  struct Case {
    int picture_width, picture_height, view_width, view_height;
    bool scroll_bars;
    int zoom;
  };
  const Case cases[] = {
      {300, 200, 383, 297, false, 127},
      {383, 297, 383, 297, false, 100},
      // With bars shown at zoom 100, the fit still takes the whole widget.
      {1000, 800, 383, 297, true, 37},
      {0, 0, 383, 297, false, 100},        // empty: nothing happens
      {40'000, 10, 383, 297, false, 100},  // a fit of 0 is ignored
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.picture_width << "x" << c.picture_height);
    TImageView view;
    view.resize(c.view_width, c.view_height);
    view.SetScrollBars(c.scroll_bars);
    view.Bitmap().SetSize(c.picture_width, c.picture_height);
    view.Update();
    view.Fit();
    EXPECT_EQ(view.Zoom(), c.zoom);
  }
}

TEST_F(ImageViewTest, OriginSettersClampAndAlwaysFire) {
  Show(300, 200, 105, 105);  // max 195, 95
  struct Case {
    int x, y;
    int view_x, view_y;
  };
  const Case cases[] = {{10, 20, 10, 20}, {10, 20, 10, 20}, {-5, -1, 0, 0}, {1000, 96, 195, 95}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
    changes_.clear();
    view_.SetViewX(c.x);
    view_.SetViewY(c.y);
    EXPECT_EQ(view_.ViewX(), c.view_x);
    EXPECT_EQ(view_.ViewY(), c.view_y);
    EXPECT_EQ(changes_, (std::vector<int>{0, 0}));
  }
}

TEST_F(ImageViewTest, ZoomKeepsTheOriginAndClampsItOncePerCoordinate) {
  struct Case {
    int zoom;
    std::vector<int> changes;
    int view_x, view_y;
  };
  // 300 x 200 in 105 x 105, scrolled to 195, 50 at zoom 100.
  const Case cases[] = {
      {150, {1}, 195, 50},          // the same zoomed pixel, another part of the picture
      {80, {0, 1}, 240 - 105, 50},  // 240 x 160
      {70, {0, 0, 1}, 105, 35},     // 210 x 140
      {50, {0, 0, 1}, 45, 0},       // 150 x 100: taller than the client only
      {30, {0, 0, 1}, 0, 0},        // 90 x 60 fits
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.zoom);
    Show(300, 200, 105, 105);
    view_.SetZoom(100);
    view_.SetViewX(195);
    view_.SetViewY(50);
    changes_.clear();
    view_.SetZoom(c.zoom);
    EXPECT_EQ(changes_, c.changes);
    EXPECT_EQ(view_.ViewX(), c.view_x);
    EXPECT_EQ(view_.ViewY(), c.view_y);
  }
}

TEST_F(ImageViewTest, ZoomOutWithScrollBarsClampsToTheNewMaximum) {
  Show(100, 100, 105, 105);
  view_.SetScrollBars(true);
  view_.SetZoom(300);
  int max_x = 0;
  int max_y = 0;
  view_.GetMaxViewXY(max_x, max_y);
  view_.SetViewX(max_x);
  view_.SetViewY(max_y);
  changes_.clear();
  view_.SetZoom(200);
  EXPECT_EQ(changes_, (std::vector<int>{0, 0, 1}));
  EXPECT_EQ(view_.ViewX(), 200 - view_.ClientWidth());
  EXPECT_EQ(view_.ViewY(), 200 - view_.ClientHeight());
  EXPECT_EQ(view_.HorizontalBar().value(), view_.ViewX());
  EXPECT_EQ(view_.VerticalBar().value(), view_.ViewY());
}

TEST_F(ImageViewTest, ScrollBarsAppearOnlyWhenThePictureExceedsTheWidget) {
  struct Case {
    const char* what;
    int picture_width, picture_height;
    bool horizontal, vertical;
  };
  // The widget is 200 x 200; a bar is about 16 pixels thick, and the cases leave it a margin.
  const Case cases[] = {
      {"exactly the widget", 200, 200, false, false},
      {"wide", 400, 100, true, false},
      {"tall", 100, 400, false, true},
      {"tall and a little too wide under the vertical bar", 195, 400, true, true},
      {"both", 400, 400, true, true},
      // Follows a case with both bars: larger than their client area, but not than the widget.
      {"wider than the client, not the widget", 195, 195, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Show(c.picture_width, c.picture_height, 200, 200);
    view_.SetScrollBars(true);
    EXPECT_EQ(!view_.HorizontalBar().isHidden(), c.horizontal);
    EXPECT_EQ(!view_.VerticalBar().isHidden(), c.vertical);
    EXPECT_EQ(view_.ClientWidth(), 200 - (c.vertical ? BarWidth() : 0));
    EXPECT_EQ(view_.ClientHeight(), 200 - (c.horizontal ? BarHeight() : 0));
    int max_x = 0;
    int max_y = 0;
    view_.GetMaxViewXY(max_x, max_y);
    EXPECT_EQ(max_x > 0, c.horizontal);
    EXPECT_EQ(max_y > 0, c.vertical);
    // Each visible bar spans the zoomed picture, 0 ... zoomed - 1, with the client as its page.
    if (c.horizontal) {
      const QScrollBar& bar = view_.HorizontalBar();
      EXPECT_EQ(bar.minimum(), 0);
      EXPECT_EQ(bar.pageStep(), view_.ClientWidth());
      EXPECT_EQ(bar.maximum() + bar.pageStep() - 1, c.picture_width - 1);
      EXPECT_EQ(bar.geometry(), QRect(0, 200 - BarHeight(), view_.ClientWidth(), BarHeight()));
    }
    if (c.vertical) {
      const QScrollBar& bar = view_.VerticalBar();
      EXPECT_EQ(bar.minimum(), 0);
      EXPECT_EQ(bar.pageStep(), view_.ClientHeight());
      EXPECT_EQ(bar.maximum() + bar.pageStep() - 1, c.picture_height - 1);
      EXPECT_EQ(bar.geometry(), QRect(200 - BarWidth(), 0, BarWidth(), view_.ClientHeight()));
    }
  }
}

TEST_F(ImageViewTest, BarsFollowZoomResizeAndTheSwitch) {
  Show(150, 150, 200, 200);
  view_.show();  // a hidden widget hears of a resize only when it is shown
  view_.SetScrollBars(true);
  EXPECT_TRUE(view_.HorizontalBar().isHidden());
  view_.SetZoom(200);
  EXPECT_FALSE(view_.HorizontalBar().isHidden());
  EXPECT_FALSE(view_.VerticalBar().isHidden());
  view_.resize(400, 400);
  EXPECT_TRUE(view_.HorizontalBar().isHidden());
  EXPECT_TRUE(view_.VerticalBar().isHidden());
  view_.resize(200, 200);
  view_.SetViewX(50);
  view_.SetScrollBars(false);
  EXPECT_TRUE(view_.HorizontalBar().isHidden());
  EXPECT_TRUE(view_.VerticalBar().isHidden());
  EXPECT_EQ(view_.ClientWidth(), 200);
  EXPECT_EQ(view_.ViewX(), 50);  // still scrollable by its owner
}

TEST_F(ImageViewTest, ScrollBarActionsMoveTheOriginByTheViewsSteps) {
  constexpr int kEnd = -1;  // the bar's maximum
  struct Case {
    QAbstractSlider::SliderAction action;
    int start;
    int origin;
  };
  const Case cases[] = {
      {QAbstractSlider::SliderPageStepAdd, 5, 15},  {QAbstractSlider::SliderPageStepSub, 15, 5},
      {QAbstractSlider::SliderPageStepSub, 5, 0},   {QAbstractSlider::SliderSingleStepAdd, 5, 6},
      {QAbstractSlider::SliderSingleStepSub, 5, 4}, {QAbstractSlider::SliderToMinimum, 5, 0},
      {QAbstractSlider::SliderToMaximum, 5, kEnd},  {QAbstractSlider::SliderNoAction, 5, 5},
  };
  // 700 x 700 at 10000 %: the origin runs up to 70000 less the client size.
  Show(700, 700, 1016, 1016);
  view_.SetScrollBars(true);
  view_.SetZoom(10'000);
  ASSERT_EQ(view_.ClientWidth() + view_.HorizontalBar().maximum(), 70'000);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "action " << c.action << " from " << c.start);
    for (QScrollBar* bar : {&view_.HorizontalBar(), &view_.VerticalBar()}) {
      const bool horizontal = bar->orientation() == Qt::Horizontal;
      const int max = bar->maximum();
      const int origin = c.origin == kEnd ? max : c.origin;
      horizontal ? view_.SetViewX(c.start) : view_.SetViewY(c.start);
      changes_.clear();
      bar->triggerAction(c.action);
      EXPECT_EQ(horizontal ? view_.ViewX() : view_.ViewY(), origin);
      EXPECT_EQ(bar->value(), origin);
      EXPECT_EQ(changes_, std::vector<int>{0});
    }
  }
}

TEST_F(ImageViewTest, DraggedThumbCarriesA16BitPosition) {
  Show(700, 700, 1016, 1016);
  view_.SetScrollBars(true);
  view_.SetZoom(10'000);
  QScrollBar& bar = view_.HorizontalBar();
  for (const int position : {1000, 65'535}) {
    bar.setSliderPosition(position);
    EXPECT_EQ(view_.ViewX(), position);
  }
  bar.setSliderPosition(68'000);
  EXPECT_EQ(view_.ViewX(), 68'000 - 65'536);
  EXPECT_EQ(bar.value(), view_.ViewX());
}

TEST_F(ImageViewTest, PaintReplicatesPixelsAndFillsTheRestWithBackground) {
  const uint32_t colours[2][2] = {{0x0000FF, 0x00FF00}, {0xFF0000, 0xFFFFFF}};
  view_.Bitmap() = MakePicture(2, 2, [&](int x, int y) { return colours[y][x]; });
  view_.SetBackground(kBackground);
  view_.SetZoom(200);
  const QImage image = Render(view_);
  ASSERT_EQ(image.size(), QSize(105, 105));
  for (int y = 0; y < 105; ++y) {
    for (int x = 0; x < 105; ++x) {
      const uint32_t expected = x < 4 && y < 4 ? colours[y / 2][x / 2] : kBackground;
      ASSERT_EQ(ImageColour(image, x, y), expected) << x << "," << y;
    }
  }
}

TEST_F(ImageViewTest, PaintShowsTheScrolledPartAtTheCorner) {
  // Each pixel's colour encodes its position, so the rendering shows which pixel landed where.
  view_.resize(104, 104);
  view_.Bitmap() = MakePicture(300, 200, [](int x, int y) { return uint32_t(x) | y << 8; });
  view_.SetZoom(200);
  view_.SetViewX(100);
  view_.SetViewY(31);
  const QImage image = Render(view_);
  for (int y = 0; y < 104; ++y) {
    for (int x = 0; x < 104; ++x) {
      // Origin 31 maps to picture row 15.5, rounded to 16: the rows show 16, 16, 17, 17, ...
      const uint32_t expected = uint32_t((100 + x) / 2) | (16 + y / 2) << 8;
      ASSERT_EQ(ImageColour(image, x, y), expected) << x << "," << y;
    }
  }
}

TEST_F(ImageViewTest, FittedPictureLeavesBackgroundStripsRightAndBelow) {
  Show(1024, 768, 383, 297);
  view_.SetScrollBars(true);
  view_.SetBackground(kBackground);
  view_.Fit();
  EXPECT_TRUE(view_.HorizontalBar().isHidden());
  EXPECT_TRUE(view_.VerticalBar().isHidden());
  const QImage image = Render(view_);
  for (int y = 0; y < 297; ++y) {
    for (int x = 0; x < 383; ++x) {
      // 379 x 284 zoomed, leaving 4 columns and 13 rows.
      const uint32_t expected = x < 379 && y < 284 ? kGrey : kBackground;
      ASSERT_EQ(ImageColour(image, x, y), expected) << x << "," << y;
    }
  }
}

TEST_F(ImageViewTest, EmptyPicturePaintsOnlyBackground) {
  for (const uint32_t background : {0x00000000u, 0x00123456u, 0x8000000Fu}) {
    SCOPED_TRACE(background);
    view_.SetBackground(background);
    const QImage image = Render(view_);
    const uint32_t expected = view_.ResolveColor(background);
    for (int y = 0; y < 105; ++y) {
      for (int x = 0; x < 105; ++x) ASSERT_EQ(ImageColour(image, x, y), expected) << x << "," << y;
    }
  }
}

TEST_F(ImageViewTest, SystemColoursComeFromThePalette) {
  QPalette palette = view_.palette();
  palette.setColor(QPalette::Button, QColor(0x12, 0x34, 0x56));
  palette.setColor(QPalette::Base, QColor(0xAB, 0xCD, 0xEF));
  view_.setPalette(palette);
  struct Case {
    uint32_t colour;
    uint32_t resolved;
  };
  const Case cases[] = {
      {0x8000000F, 0x563412},                          // button face
      {0x80000005, 0xEFCDAB},                          // window
      {0x800000FF, 0},                                 // no such system colour
      {0x00563412, 0x563412}, {0x7F563412, 0x563412},  // bits above blue are not colour
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.colour);
    EXPECT_EQ(view_.ResolveColor(c.colour), c.resolved);
  }
}

TEST_F(ImageViewTest, BackgroundSetterReportsAnImageChange) {
  int image_changes = 0;
  view_.OnImageChange = [&image_changes](TImageView&) { ++image_changes; };
  view_.SetBackground(0x8000000F);
  EXPECT_EQ(view_.Background(), 0x8000000Fu);
  EXPECT_EQ(image_changes, 1);
}

}  // namespace
}  // namespace sk

namespace sk {
namespace {

// A wheel turned by the given eighths of a degree at pos, with modifiers.
void Turn(TImageView& view, QPoint pos, QPoint angle, Qt::KeyboardModifiers modifiers) {
  QWheelEvent wheel(QPointF(pos), QPointF(view.mapToGlobal(pos)), QPoint(), angle, Qt::NoButton,
                    modifiers, Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(&view, &wheel);
}

TEST(ImageViewWheelTest, TheWheelScrollsAndCtrlZoomsAboutThePointer) {
  TImageView view;
  view.resize(200, 100);
  view.Bitmap() = test::MakePicture(1000, 800, [](int, int) { return kGrey; });
  view.Update();
  // A notch away from the user shows what lies above: the origin goes back.
  Turn(view, {50, 50}, {0, -2 * kWheelNotch}, Qt::NoModifier);
  EXPECT_EQ(view.ViewY(), 2 * kWheelScrollStep);
  Turn(view, {50, 50}, {0, kWheelNotch}, Qt::NoModifier);
  EXPECT_EQ(view.ViewY(), kWheelScrollStep);
  Turn(view, {50, 50}, {0, -kWheelNotch}, Qt::ShiftModifier);  // sideways
  EXPECT_EQ(view.ViewX(), kWheelScrollStep);
  EXPECT_EQ(view.ViewY(), kWheelScrollStep);
  Turn(view, {50, 50}, {0, 10 * kWheelNotch}, Qt::NoModifier);  // clamped at the top
  EXPECT_EQ(view.ViewY(), 0);

  // Ctrl zooms by ten percent a notch; the picture point under the pointer stays there.
  view.SetViewX(100);
  view.SetViewY(60);
  Turn(view, {40, 30}, {0, kWheelNotch}, Qt::ControlModifier);
  EXPECT_EQ(view.Zoom(), 110);
  EXPECT_EQ(view.ViewX(), (100 + 40) * 110 / 100 - 40);
  EXPECT_EQ(view.ViewY(), (60 + 30) * 110 / 100 - 30);
  Turn(view, {40, 30}, {0, -2 * kWheelNotch}, Qt::ControlModifier);
  EXPECT_EQ(view.Zoom(), 90);
  // Half notches (a fine wheel) add up to one step.
  Turn(view, {40, 30}, {0, kWheelNotch / 2}, Qt::ControlModifier);
  EXPECT_EQ(view.Zoom(), 90);
  Turn(view, {40, 30}, {0, kWheelNotch / 2}, Qt::ControlModifier);
  EXPECT_EQ(view.Zoom(), 100);
  // Zooming out stops at the last positive zoom, as the buttons do.
  view.SetZoom(5);
  Turn(view, {40, 30}, {0, -kWheelNotch}, Qt::ControlModifier);
  EXPECT_EQ(view.Zoom(), 5);
}

}  // namespace
}  // namespace sk
