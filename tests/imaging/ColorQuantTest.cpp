// The octree quantiser's exact rules on small pictures whose results can be worked out by hand,
// and its behaviour on pictures of few colours and of many bright pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <stdexcept>
#include <vector>

#include "imaging/ColorQuant.h"
#include "tests/imaging/ImagingTestSupport.h"

namespace sk {
namespace {

// A one-row picture of the given colours.
TPicture RowOf(const std::vector<TRgb>& pixels) {
  std::vector<uint8_t> rgb;
  for (const TRgb& c : pixels) rgb.insert(rgb.end(), {c.red, c.green, c.blue});
  return test::PictureFromRgb(rgb, static_cast<int>(pixels.size()), 1);
}

TRgb Red(int value) {
  return {static_cast<uint8_t>(value), 0, 0};
}

std::vector<TRgb> Reds(int first, int last) {
  std::vector<TRgb> reds;
  for (int v = first; v <= last; ++v) reds.push_back(Red(v));
  return reds;
}

struct TCase {
  const char* name;
  int max_colors;
  std::vector<TRgb> pixels;
  std::vector<TRgb> palette;
  std::vector<uint8_t> indexes;
};

std::vector<TCase> Cases() {
  std::vector<TCase> cases;

  // Two pixels merged into one colour: (0 + 1) / 2 truncates to 0.
  cases.push_back({"merged_average_truncates", 1, {{0, 0, 0}, {1, 1, 1}}, {{0, 0, 0}}, {0, 0}});

  // Reds 0..255, one pixel each: every pair 2i, 2i+1 shares a level-7 node, listed when 2i+1
  // arrives. Red 255 makes the 256th leaf; all 128 pairs hold 2 pixels, so the one listed last,
  // (254, 255), is merged into (254 + 255) / 2 = 254.
  {
    TCase c{"equal_counts_merge_the_node_listed_last", 255, Reds(0, 255), Reds(0, 254), {}};
    for (int v = 0; v <= 255; ++v) c.indexes.push_back(static_cast<uint8_t>(std::min(v, 254)));
    cases.push_back(c);
  }

  // As above, but red 254 comes twice before 255: the pair (254, 255) now holds 3 pixels, and of
  // the pairs of 2 the one listed last, (252, 253), is merged into 252.
  {
    TCase c{"fewest_pixels_merge_first", 255, Reds(0, 254), {}, {}};
    c.pixels.push_back(Red(254));
    c.pixels.push_back(Red(255));
    c.palette = Reds(0, 252);
    c.palette.push_back(Red(254));
    c.palette.push_back(Red(255));
    for (int v = 0; v <= 254; ++v) c.indexes.push_back(static_cast<uint8_t>(v <= 252 ? v : v - 1));
    c.indexes.push_back(253);  // the second 254
    c.indexes.push_back(254);  // 255
    cases.push_back(c);
  }

  // A = (0,0,0) x3 and B = (1,0,0) x3 share a level-7 node (6 pixels); C = 128 and D = 192 differ
  // at bit 6 and share a level-1 node (2 pixels). D makes a 4th leaf: the deepest list (level 7)
  // wins over the node with fewer pixels, so A and B merge into 0.
  // E = 64 then gives the A-side level-1 node a second child: 4 leaves again, and now the deepest
  // list is level 1, holding the A-side node (7 pixels) and the C-D node (2 pixels). The C-D node
  // merges into (128 + 192) / 2 = 160, and no node is created below level 2 any more.
  // F = 32 thus ends at the level-2 node above A and B, which becomes a palette colour:
  // (3 x 0 + 3 x 1 + 32) / 7 = 5. Palette order is by child index: A-side (bit 6 clear), E, C-D.
  cases.push_back(
      {"deepest_list_first_then_leaf_level_drops",
       3,
       {Red(0), Red(0), Red(0), Red(1), Red(1), Red(1), Red(128), Red(192), Red(64), Red(32)},
       {Red(5), Red(64), Red(160)},
       {0, 0, 0, 0, 0, 0, 2, 2, 1, 0}});

  cases.push_back({"one_colour", 255, {{9, 8, 7}, {9, 8, 7}, {9, 8, 7}}, {{9, 8, 7}}, {0, 0, 0}});
  return cases;
}

// The quantiser's rules as its contract states them, one pixel at a time and without any cache,
// to check the real one on pictures too large to work out by hand.
class TPlainOctree {
 public:
  explicit TPlainOctree(int max_colors) : max_colors_(max_colors) { root_ = NewNode(0); }

  void Add(const TRgb& c) {
    TNode* node = root_;
    for (;;) {
      node->count += 1;
      node->red += c.red;
      node->green += c.green;
      node->blue += c.blue;
      if (node->leaf || node->level >= leaf_level_) break;
      const int i = Child(c, node->level);
      if (node->children[i] == nullptr) {
        node->children[i] = NewNode(node->level + 1);
        if (++node->child_count == 2) lists_[node->level].push_back(node);
      }
      node = node->children[i];
    }
    if (leaves_ > max_colors_) Reduce();
  }

  std::vector<TRgb> Palette() {
    std::vector<TRgb> palette;
    Number(root_, palette);
    return palette;
  }

  uint8_t Map(const TRgb& c) const {
    const TNode* node = root_;
    while (!IsPaletteNode(node)) node = node->children[Child(c, node->level)];
    return static_cast<uint8_t>(node->index);
  }

 private:
  struct TNode {
    uint64_t count = 0, red = 0, green = 0, blue = 0;
    TNode* children[8] = {};
    int level = 0;
    int child_count = 0;
    int index = 0;
    bool leaf = false;
  };

  static int Child(const TRgb& c, int level) {
    const int shift = 7 - level;
    return ((c.red >> shift & 1) << 2) | ((c.green >> shift & 1) << 1) | (c.blue >> shift & 1);
  }

  bool IsPaletteNode(const TNode* node) const { return node->leaf || node->level == leaf_level_; }

  TNode* NewNode(int level) {
    TNode* node = pool_.emplace_back(std::make_unique<TNode>()).get();
    node->level = level;
    node->leaf = level >= leaf_level_;
    if (node->leaf) ++leaves_;
    return node;
  }

  void Drop(TNode* node) {
    auto& list = lists_[node->level];
    list.erase(std::remove(list.begin(), list.end(), node), list.end());
    if (node->leaf) --leaves_;
    for (TNode*& child : node->children) {
      if (child != nullptr) Drop(child);
      child = nullptr;
    }
  }

  void Reduce() {
    int level = leaf_level_ - 1;
    while (lists_[level].empty()) --level;
    // The fewest pixels; among equal counts the one listed last.
    const auto& list = lists_[level];
    TNode* chosen = list.back();
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
      if ((*it)->count < chosen->count) chosen = *it;
    }
    lists_[level].erase(std::find(lists_[level].begin(), lists_[level].end(), chosen));
    for (TNode*& child : chosen->children) {
      if (child != nullptr) Drop(child);
      child = nullptr;
    }
    chosen->child_count = 0;
    chosen->leaf = true;
    ++leaves_;
    leaf_level_ = std::min(leaf_level_, chosen->level + 1);
  }

  void Number(TNode* node, std::vector<TRgb>& palette) {
    if (IsPaletteNode(node)) {
      node->index = static_cast<int>(palette.size());
      palette.push_back({static_cast<uint8_t>(node->red / node->count),
                         static_cast<uint8_t>(node->green / node->count),
                         static_cast<uint8_t>(node->blue / node->count)});
      return;
    }
    for (TNode* child : node->children) {
      if (child != nullptr) Number(child, palette);
    }
  }

  std::vector<std::unique_ptr<TNode>> pool_;
  std::vector<TNode*> lists_[8];
  TNode* root_ = nullptr;
  int leaf_level_ = 8;
  int leaves_ = 0;
  int max_colors_;
};

TEST(OctQuantize, FollowsTheMergeRules) {
  for (const TCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    const TQuantizedPicture result = OctQuantize(RowOf(c.pixels), c.max_colors);
    EXPECT_EQ(result.palette, c.palette);
    EXPECT_EQ(result.indexes, c.indexes);
  }
}

// The order of colours along the tree: red, green and blue bits interleaved from the top.
uint32_t TreeOrder(const TRgb& c) {
  uint32_t key = 0;
  for (int bit = 7; bit >= 0; --bit) {
    key =
        key << 3 | ((c.red >> bit) & 1) << 2 | ((c.green >> bit) & 1) << 1 | ((c.blue >> bit) & 1);
  }
  return key;
}

TEST(OctQuantize, KeepsAtMostMaxColoursExactlyInTreeOrder) {
  const TPicture picture = test::NoisePicture(37, 29, 5);
  // Recolour the noise with 255 colours so that every colour is used.
  const std::vector<uint8_t> noise = test::RgbOf(picture);
  std::vector<TRgb> colours;
  for (int i = 0; i < 255; ++i)
    colours.push_back({noise[3 * i], noise[3 * i + 1], noise[3 * i + 2]});
  std::vector<uint8_t> rgb;
  for (int i = 0; i < 37 * 29; ++i) {
    const TRgb& c = colours[(i * 7919) % 255];
    rgb.insert(rgb.end(), {c.red, c.green, c.blue});
  }
  std::sort(colours.begin(), colours.end(),
            [](const TRgb& a, const TRgb& b) { return TreeOrder(a) < TreeOrder(b); });
  colours.erase(std::unique(colours.begin(), colours.end()), colours.end());

  const TQuantizedPicture result = OctQuantize(test::PictureFromRgb(rgb, 37, 29), 255);
  EXPECT_EQ(result.palette, colours);
  for (size_t i = 0; i < result.indexes.size(); ++i) {
    const TRgb& mapped = result.palette.at(result.indexes[i]);
    ASSERT_EQ(std::vector<uint8_t>({mapped.red, mapped.green, mapped.blue}),
              std::vector<uint8_t>(rgb.begin() + 3 * i, rgb.begin() + 3 * i + 3))
        << "pixel " << i;
  }
}

TEST(OctQuantize, ReducesManyColoursToTheLimit) {
  const TPicture picture = test::NoisePicture(200, 150, 9);
  for (const int max_colors : {1, 2, 16, 255, 256}) {
    SCOPED_TRACE(max_colors);
    const TQuantizedPicture result = OctQuantize(picture, max_colors);
    EXPECT_GE(result.palette.size(), 1u);
    EXPECT_LE(result.palette.size(), static_cast<size_t>(max_colors));
    ASSERT_EQ(result.indexes.size(), 200u * 150u);
    EXPECT_LT(*std::max_element(result.indexes.begin(), result.indexes.end()),
              result.palette.size());
  }
}

// Noise of tens of thousands of colours, alone and in runs of up to 40 equal pixels, so that
// merges keep coming while pixels are added and colours share the quantiser's cached paths.
TEST(OctQuantize, MatchesTheRulesPixelByPixelOnManyColours) {
  const TPicture noise = test::NoisePicture(320, 240, 5);
  TPicture runs = test::NoisePicture(320, 240, 6);
  for (int y = 0; y < runs.Height(); ++y) {
    uint8_t* row = runs.Row(y);
    for (int x = 1; x < runs.Width(); ++x) {
      if ((x * 7 + y * 3) % 41 != 0) std::copy(row + 3 * x - 3, row + 3 * x, row + 3 * x);
    }
  }
  const TPicture* const pictures[] = {&noise, &runs};
  for (const TPicture* picture : pictures) {
    for (const int max_colors : {2, 37, 255}) {
      SCOPED_TRACE(testing::Message()
                   << (picture == &noise ? "noise" : "runs") << " " << max_colors);
      TPlainOctree plain(max_colors);
      std::vector<TRgb> pixels;
      for (int y = 0; y < picture->Height(); ++y) {
        const uint8_t* row = picture->Row(y);
        for (int x = 0; x < picture->Width(); ++x) {
          pixels.push_back({row[3 * x + 2], row[3 * x + 1], row[3 * x]});
          plain.Add(pixels.back());
        }
      }
      const TQuantizedPicture result = OctQuantize(*picture, max_colors);
      ASSERT_EQ(result.palette, plain.Palette());
      ASSERT_EQ(result.indexes.size(), pixels.size());
      for (size_t i = 0; i < pixels.size(); ++i) {
        ASSERT_EQ(result.indexes[i], plain.Map(pixels[i])) << "pixel " << i;
      }
    }
  }
}

// 17.2 million white pixels: each channel sums to more than 2^32, so 32-bit sums would wrap.
TEST(OctQuantize, AveragesStayRightBeyondThirtyTwoBitSums) {
  TPicture picture(4200, 4100);
  for (int y = 0; y < picture.Height(); ++y) {
    std::fill(picture.Row(y), picture.Row(y) + 3 * picture.Width(), uint8_t{255});
  }
  const TQuantizedPicture result = OctQuantize(picture, 255);
  EXPECT_EQ(result.palette, std::vector<TRgb>({{255, 255, 255}}));
}

TEST(OctQuantize, EmptyPictureGivesEmptyPalette) {
  const TQuantizedPicture result = OctQuantize(TPicture(), 255);
  EXPECT_TRUE(result.palette.empty());
  EXPECT_TRUE(result.indexes.empty());
}

TEST(OctQuantize, RefusesColourLimitsOutsideOneTo256) {
  for (const int max_colors : {0, -1, 257}) {
    EXPECT_THROW(OctQuantize(TPicture(2, 2), max_colors), std::invalid_argument) << max_colors;
  }
}

}  // namespace
}  // namespace sk
