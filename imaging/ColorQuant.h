// The octree colour quantiser: reduces a 24-bit picture to a palette of at most a given number of
// colours and maps every pixel to its palette index. The GIF writer uses it with 255 colours.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/Picture.h"

namespace sk {

struct TRgb {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;

  friend bool operator==(const TRgb&, const TRgb&) = default;
};

struct TQuantizedPicture {
  // At most max_colors entries, in the octree's depth-first order (children by index 0 to 7).
  std::vector<TRgb> palette;
  // One palette index per pixel, rows from the top, pixels from the left, no padding.
  std::vector<uint8_t> indexes;
};

// Quantises the picture with an octree in which every node on a colour's path accumulates that
// colour. Pixels are added row by row; whenever the leaves outnumber max_colors, one node is
// merged into a leaf: the node with the fewest pixels in the deepest non-empty list of nodes with
// two or more children (among equal counts the one listed last), after which no node is created
// below the level just beneath it. A palette colour is the truncated average of the pixels under
// its node. A picture of at most max_colors distinct colours keeps them all exactly.
// Requires 1 <= max_colors <= 256 (std::invalid_argument otherwise). An empty picture gives an
// empty palette. Raises std::bad_alloc when memory runs out.
TQuantizedPicture OctQuantize(const TPicture& picture, int max_colors);

}  // namespace sk
