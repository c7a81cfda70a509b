// The in-memory picture: its size limits, row layout, copies, moves and equality.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>

#include "imaging/Picture.h"

namespace sk {
namespace {

TEST(PictureTest, SizesAreAllowedUpToThePixelLimit) {
  const struct {
    int64_t width;
    int64_t height;
    bool allowed;
  } cases[] = {
      {1, 1, true},
      {0, 1, false},
      {1, 0, false},
      {-1, 5, false},
      {5, -1, false},
      {kMaxPicturePixels, 1, true},
      {1, kMaxPicturePixels, true},
      {kMaxPicturePixels + 1, 1, false},
      {13377, 13377, true},   // 178,944,129 pixels
      {13378, 13378, false},  // 178,970,884 pixels
      {16000, 16000, false},
      {65535, 65535, false},
      // Products that overflow 32 bits must not wrap into range.
      {65536, 65536, false},
      {int64_t{1} << 31, 2, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
    EXPECT_EQ(PictureSizeAllowed(c.width, c.height), c.allowed);
  }
  EXPECT_EQ(kMaxPicturePixels, 178'956'970);
}

TEST(PictureTest, SizesOutsideTheLimitThrowWithoutAllocating) {
  EXPECT_THROW(TPicture(13378, 13378), std::length_error);
  EXPECT_THROW(TPicture(-3, 2), std::length_error);
  EXPECT_THROW(TMonoPicture(kMaxPicturePixels + 1, 1), std::length_error);
  TPicture picture(4, 4);
  EXPECT_THROW(picture.SetSize(1, -1), std::length_error);
}

TEST(PictureTest, RowsArePaddedToFourBytesAndStartBlack) {
  const struct {
    int width;
    size_t row_bytes;
  } cases[] = {{1, 4}, {2, 8}, {3, 12}, {4, 12}, {5, 16}, {7, 24}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.width);
    const TPicture picture(c.width, 3);
    EXPECT_EQ(picture.RowBytes(), c.row_bytes);
    EXPECT_EQ(picture.Row(2) - picture.Row(0), static_cast<ptrdiff_t>(2 * c.row_bytes));
    for (int y = 0; y < 3; ++y) {
      for (size_t i = 0; i < c.row_bytes; ++i) EXPECT_EQ(picture.Row(y)[i], 0) << y << "," << i;
    }
  }
  // A 1-bit picture pads each row to 32 bits.
  EXPECT_EQ(TMonoPicture(1, 1).RowBytes(), 4u);
  EXPECT_EQ(TMonoPicture(33, 1).RowBytes(), 8u);
}

TEST(PictureTest, AZeroSideGivesAnEmptyPicture) {
  for (const auto& [width, height] : {std::pair{0, 0}, {0, 7}, {7, 0}}) {
    TPicture picture(5, 5);
    picture.SetSize(width, height);
    EXPECT_TRUE(picture.Empty());
    EXPECT_EQ(picture.Width(), 0);
    EXPECT_EQ(picture.Height(), 0);
    EXPECT_EQ(picture.Data(), nullptr);
  }
}

TEST(PictureTest, SetSizeClearsThePixelsEvenAtTheSameSize) {
  TPicture picture(3, 2);
  std::memset(picture.Row(1), 0x5A, 9);
  picture.SetSize(3, 2);
  EXPECT_EQ(picture, TPicture(3, 2));
}

TPicture Marked(int width, int height, uint8_t mark) {
  TPicture picture(width, height);
  picture.Row(height - 1)[3 * (width - 1) + 2] = mark;  // red of the last pixel
  return picture;
}

TEST(PictureTest, CopiesAreIndependentAndMovesLeaveAnEmptyPicture) {
  const TPicture original = Marked(5, 3, 9);
  TPicture copy(original);
  EXPECT_EQ(copy, original);
  EXPECT_NE(copy.Data(), original.Data());
  copy.Row(0)[0] = 1;
  EXPECT_NE(copy, original);

  TPicture assigned(2, 2);
  assigned = original;
  EXPECT_EQ(assigned, original);
  const TPicture& same = assigned;
  assigned = same;  // self-assignment keeps the pixels
  EXPECT_EQ(assigned, original);

  TPicture moved(std::move(assigned));
  EXPECT_EQ(moved, original);
  EXPECT_TRUE(assigned.Empty());  // NOLINT(bugprone-use-after-move): the contract says so
  TPicture target(1, 1);
  target = std::move(moved);
  EXPECT_EQ(target, original);
  EXPECT_TRUE(moved.Empty());  // NOLINT(bugprone-use-after-move)

  const TPicture empty;
  TPicture copy_of_empty(empty);
  EXPECT_TRUE(copy_of_empty.Empty());
  EXPECT_EQ(copy_of_empty, empty);
}

TEST(PictureTest, EqualityComparesSizeAndEveryPixel) {
  const struct {
    const char* name;
    TPicture a;
    TPicture b;
    bool equal;
  } cases[] = {
      {"same", Marked(4, 2, 7), Marked(4, 2, 7), true},
      {"last_pixel_differs", Marked(4, 2, 7), Marked(4, 2, 8), false},
      {"same_pixel_count_other_shape", TPicture(4, 2), TPicture(2, 4), false},
      {"wider", TPicture(4, 2), TPicture(5, 2), false},
      {"both_empty", TPicture(), TPicture(), true},
      {"empty_and_not", TPicture(), TPicture(1, 1), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.a == c.b, c.equal);
    EXPECT_EQ(c.b == c.a, c.equal);
  }
}

}  // namespace
}  // namespace sk
