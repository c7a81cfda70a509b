// The octree colour quantiser. Nodes live in a pool and refer to each other by index, so merging a
// subtree returns its nodes to the pool without any per-node allocation. A cache of the paths
// colours took through the tree spares most pixels the walk from the root, and the path gathers
// their totals until the nodes' totals are read.
#include "imaging/ColorQuant.h"

#include <array>
#include <stdexcept>

namespace sk {

namespace {

constexpr int32_t kNone = -1;
constexpr int kDeepestLevel = 8;
constexpr int kPathSlotBits = 13;
constexpr uint64_t kNoPath = ~uint64_t{0};
constexpr int kIndexSlotBits = 14;
constexpr uint64_t kNoIndex = ~uint64_t{0};

struct TOctNode {
  // Running totals of every pixel whose path passed through the node. 64 bits: a picture may
  // hold far more than 2^32 / 255 bright pixels of one colour.
  uint64_t pixel_count = 0;
  uint64_t red_sum = 0;
  uint64_t green_sum = 0;
  uint64_t blue_sum = 0;
  std::array<int32_t, 8> children{};
  // Links of the reducible list of the node's level.
  int32_t next = kNone;
  int32_t previous = kNone;
  int32_t palette_index = 0;
  int level = 0;
  int child_count = 0;
  bool leaf = false;
  bool listed = false;
};

// Which child of a node at `level` a colour belongs to: one bit of each channel, most significant
// first, red weighted 4, green 2, blue 1.
int ChildIndex(uint8_t red, uint8_t green, uint8_t blue, int level) {
  const int shift = 7 - level;
  return (((red >> shift) & 1) << 2) | (((green >> shift) & 1) << 1) | ((blue >> shift) & 1);
}

// The nodes a colour's walk passed through, from the root to the node where it stopped (a leaf or
// a node on the leaf level), for every colour that shares the bits the walk looked at, with the
// totals of the pixels added along it that the nodes have not yet been given.
struct TPath {
  // The number of merges so far (from bit 24 up) and the colour's bits above the leaf level
  // (PathKey); kNoPath when unused.
  uint64_t tag = kNoPath;
  uint64_t pixel_count = 0;
  uint64_t red_sum = 0;
  uint64_t green_sum = 0;
  uint64_t blue_sum = 0;
  std::array<int32_t, kDeepestLevel + 1> nodes{};
  int length = 0;
  bool pending = false;  // on the tree's list of paths to flush
};

class TOctree {
 public:
  explicit TOctree(int max_colors) : max_colors_(max_colors) {
    lists_.fill(kNone);
    // Each leaf has at most eight ancestors and every inner node at least one leaf below it, and
    // the leaves never outnumber max_colors + 1: the pool never grows beyond this.
    nodes_.reserve(static_cast<size_t>(max_colors + 1) * (kDeepestLevel + 1) + 1);
    root_ = NewNode(0);
    paths_.resize(size_t{1} << kPathSlotBits);
  }

  // Adds `count` pixels of one colour, then merges once if the leaves outnumber max_colors.
  // Only the first of equal neighbouring pixels can create a leaf, so adding a run at once after
  // adding its first pixel alone gives the tree that adding each pixel would.
  // The pixels' totals wait in their path until a merge or the palette needs the nodes' totals
  // (FlushPaths), or until another path takes the slot.
  void Add(uint8_t red, uint8_t green, uint8_t blue, uint64_t count) {
    TPath& path = PathSlot(red, green, blue);
    const uint64_t tag = PathTag(red, green, blue);
    if (path.tag != tag) {
      // The walk would create nothing and stop where it did before when the tags match; else
      // the slot's path gives its nodes what it holds and the walk is taken afresh.
      Flush(path);
      path.length = 0;
      int32_t node = root_;
      for (;;) {
        path.nodes[path.length++] = node;
        TOctNode& current = nodes_[node];
        if (current.leaf || current.level >= leaf_level_) break;
        const int index = ChildIndex(red, green, blue, current.level);
        int32_t child = current.children[index];
        if (child == kNone) {
          const int child_level = current.level + 1;
          child = NewNode(child_level);  // may move the pool: `current` is not used again
          TOctNode& parent = nodes_[node];
          parent.children[index] = child;
          ++parent.child_count;
          if (parent.child_count > 1 && !parent.listed) Link(node);
        }
        node = child;
      }
      // A merge below starts a new generation, which retires this path at once.
      path.tag = tag;
    }
    if (!path.pending) {
      path.pending = true;
      pending_.push_back(&path);
    }
    path.pixel_count += count;
    path.red_sum += red * count;
    path.green_sum += green * count;
    path.blue_sum += blue * count;
    if (leaf_count_ > max_colors_) {
      FlushPaths();
      Reduce();
    }
  }

  // Numbers the palette nodes depth-first and returns their average colours in that order.
  std::vector<TRgb> BuildPalette() {
    FlushPaths();
    indexes_.assign(size_t{1} << kIndexSlotBits, kNoIndex);
    std::vector<TRgb> palette;
    Number(root_, palette);
    return palette;
  }

  // The palette index of a colour that was added to the tree. Call after BuildPalette.
  uint8_t Map(uint8_t red, uint8_t green, uint8_t blue) {
    // Colours that share the bits above the leaf level share their palette index; a small table
    // of recent ones (key x 256 + index) answers most pixels without touching the paths.
    const uint32_t key = PathKey(red, green, blue);
    uint64_t& known = indexes_[(key * 0x9E3779B1u) >> (32 - kIndexSlotBits)];
    if ((known >> 8) == key) return static_cast<uint8_t>(known);
    TPath& path = PathSlot(red, green, blue);
    const uint64_t tag = PathTag(red, green, blue);
    if (path.tag != tag) {
      path.length = 0;
      int32_t node = root_;
      path.nodes[path.length++] = node;
      while (!IsPaletteNode(nodes_[node])) {
        const int32_t child =
            nodes_[node].children[ChildIndex(red, green, blue, nodes_[node].level)];
        // Every colour added has a path down to a palette node; anything else is a caller's error.
        if (child == kNone) throw std::logic_error("OctQuantize: colour was not added");
        node = child;
        path.nodes[path.length++] = node;
      }
      path.tag = tag;
    }
    const uint8_t index = static_cast<uint8_t>(nodes_[path.nodes[path.length - 1]].palette_index);
    known = (uint64_t{key} << 8) | index;
    return index;
  }

 private:
  bool IsPaletteNode(const TOctNode& node) const { return node.leaf || node.level == leaf_level_; }

  // Gives every node on the path the totals the path holds. The nodes are those of the path's
  // own generation: paths are flushed before every merge.
  void Flush(TPath& path) {
    if (path.pixel_count == 0) return;
    for (int i = 0; i < path.length; ++i) {
      TOctNode& node = nodes_[path.nodes[i]];
      node.pixel_count += path.pixel_count;
      node.red_sum += path.red_sum;
      node.green_sum += path.green_sum;
      node.blue_sum += path.blue_sum;
    }
    path.pixel_count = path.red_sum = path.green_sum = path.blue_sum = 0;
  }

  void FlushPaths() {
    for (TPath* path : pending_) {
      Flush(*path);
      path->pending = false;
    }
    pending_.clear();
  }

  // A walk looks only at the bits of each channel above the leaf level, and it takes the same
  // nodes until a merge changes the tree's shape (new nodes only ever hang below the end of a
  // walk that created them). So a path is known by those bits and the number of merges so far.
  uint32_t PathKey(uint8_t red, uint8_t green, uint8_t blue) const {
    const uint32_t mask = (0xFFu << (kDeepestLevel - leaf_level_)) & 0xFFu;
    return ((red & mask) << 16) | ((green & mask) << 8) | (blue & mask);
  }

  uint64_t PathTag(uint8_t red, uint8_t green, uint8_t blue) const {
    return (generation_ << 24) | PathKey(red, green, blue);
  }

  TPath& PathSlot(uint8_t red, uint8_t green, uint8_t blue) {
    const uint32_t key = PathKey(red, green, blue);
    return paths_[(key * 0x9E3779B1u) >> (32 - kPathSlotBits)];
  }

  int32_t NewNode(int level) {
    int32_t index;
    if (!free_.empty()) {
      index = free_.back();
      free_.pop_back();
      nodes_[index] = TOctNode{};
    } else {
      index = static_cast<int32_t>(nodes_.size());
      nodes_.emplace_back();
    }
    TOctNode& node = nodes_[index];
    node.children.fill(kNone);
    node.level = level;
    node.leaf = level >= leaf_level_;
    if (node.leaf) ++leaf_count_;
    return index;
  }

  // Puts a node at the head of its level's reducible list.
  void Link(int32_t index) {
    TOctNode& node = nodes_[index];
    node.previous = kNone;
    node.next = lists_[node.level];
    if (node.next != kNone) nodes_[node.next].previous = index;
    lists_[node.level] = index;
    node.listed = true;
  }

  void Unlink(int32_t index) {
    TOctNode& node = nodes_[index];
    if (node.previous != kNone) {
      nodes_[node.previous].next = node.next;
    } else {
      lists_[node.level] = node.next;
    }
    if (node.next != kNone) nodes_[node.next].previous = node.previous;
    node.next = node.previous = kNone;
    node.listed = false;
  }

  // Returns a node and everything below it to the pool. A deleted node leaves its list, so the
  // lists never hold stale entries (the lists it can be on are deeper than any list still read).
  void FreeSubtree(int32_t index) {
    TOctNode& node = nodes_[index];
    if (node.listed) Unlink(index);
    if (node.leaf) --leaf_count_;
    for (int32_t& child : node.children) {
      if (child != kNone) FreeSubtree(child);
      child = kNone;
    }
    free_.push_back(index);
  }

  // Merges the children of one node into it: the node with the fewest pixels in the deepest
  // non-empty list above the leaf level; among equal counts the one nearest the head, that is the
  // one listed last.
  void Reduce() {
    ++generation_;
    int level = leaf_level_ - 1;
    while (level >= 0 && lists_[level] == kNone) --level;
    // Cannot happen while max_colors >= 1 (an inner node with two children is always listed), but
    // a tree with nothing to merge is left as it is rather than walked off its lists.
    if (level < 0) return;
    int32_t chosen = lists_[level];
    for (int32_t index = nodes_[chosen].next; index != kNone; index = nodes_[index].next) {
      if (nodes_[index].pixel_count < nodes_[chosen].pixel_count) chosen = index;
    }
    Unlink(chosen);
    for (int i = 0; i < 8; ++i) {
      const int32_t child = nodes_[chosen].children[i];
      if (child != kNone) FreeSubtree(child);
      nodes_[chosen].children[i] = kNone;
    }
    TOctNode& node = nodes_[chosen];
    node.child_count = 0;
    node.leaf = true;
    ++leaf_count_;
    if (node.level < leaf_level_ - 1) leaf_level_ = node.level + 1;
  }

  void Number(int32_t index, std::vector<TRgb>& palette) {
    TOctNode& node = nodes_[index];
    if (IsPaletteNode(node)) {
      node.palette_index = static_cast<int32_t>(palette.size());
      // Every node holds at least the pixel that created it, so the count is never 0.
      palette.push_back({static_cast<uint8_t>(node.red_sum / node.pixel_count),
                         static_cast<uint8_t>(node.green_sum / node.pixel_count),
                         static_cast<uint8_t>(node.blue_sum / node.pixel_count)});
      return;
    }
    for (const int32_t child : node.children) {
      if (child != kNone) Number(child, palette);
    }
  }

  std::vector<TOctNode> nodes_;
  std::vector<int32_t> free_;
  std::vector<TPath> paths_;
  std::vector<uint64_t> indexes_;  // Map's table, kNoIndex when free
  std::vector<TPath*> pending_;    // the paths that hold totals (paths_ never reallocates)
  uint64_t generation_ = 0;        // merges so far
  std::array<int32_t, kDeepestLevel> lists_{};
  int32_t root_ = kNone;
  int leaf_level_ = kDeepestLevel;
  int64_t leaf_count_ = 0;
  int64_t max_colors_;
};

}  // namespace

TQuantizedPicture OctQuantize(const TPicture& picture, int max_colors) {
  if (max_colors < 1 || max_colors > 256) {
    throw std::invalid_argument("OctQuantize: max_colors must lie in 1..256");
  }
  TQuantizedPicture result;
  if (picture.Empty()) return result;
  const int width = picture.Width();
  const int height = picture.Height();

  TOctree tree(max_colors);
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = picture.Row(y);
    int x = 0;
    while (x < width) {
      const uint8_t* pixel = row + 3 * x;
      int run = 1;
      while (x + run < width && pixel[3 * run] == pixel[0] && pixel[3 * run + 1] == pixel[1] &&
             pixel[3 * run + 2] == pixel[2]) {
        ++run;
      }
      tree.Add(pixel[2], pixel[1], pixel[0], 1);
      if (run > 1) tree.Add(pixel[2], pixel[1], pixel[0], static_cast<uint64_t>(run - 1));
      x += run;
    }
  }
  result.palette = tree.BuildPalette();

  // The picture's size was checked when it was allocated, so the count fits.
  result.indexes.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
  uint8_t* out = result.indexes.data();
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = picture.Row(y);
    uint32_t last_color = 0xFFFFFFFF;  // no 24-bit colour has this value
    uint8_t last_index = 0;
    for (int x = 0; x < width; ++x) {
      const uint8_t* pixel = row + 3 * x;
      const uint32_t color = pixel[0] | (pixel[1] << 8) | (pixel[2] << 16);
      if (color != last_color) {
        last_color = color;
        last_index = tree.Map(pixel[2], pixel[1], pixel[0]);
      }
      *out++ = last_index;
    }
  }
  return result;
}

}  // namespace sk
