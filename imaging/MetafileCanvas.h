// The small drawing interface that the WMF and EMF record parsers draw through. Every coordinate
// and size it receives is already in the target picture's pixels: the parsers resolve mapping
// modes, window and viewport, world transforms and the metafile's placement themselves, so a
// canvas only draws.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "imaging/Picture.h"

namespace sk {

struct TPointD {
  double x = 0;
  double y = 0;
  friend bool operator==(const TPointD&, const TPointD&) = default;
};

struct TRectD {
  double left = 0;
  double top = 0;
  double right = 0;
  double bottom = 0;
};

// An outline of figures made of lines and cubic Bezier curves.
class TMetaPath {
 public:
  enum class TOp { kMove, kLine, kCubic, kClose };

  // Starts a new figure at p.
  void MoveTo(TPointD p);
  // A line from the current point; starts a figure at p when there is none.
  void LineTo(TPointD p);
  // A cubic Bezier curve from the current point through control points c1 and c2 to p.
  void CubicTo(TPointD c1, TPointD c2, TPointD p);
  // Closes the current figure (a no-op when there is none).
  void Close();
  void Clear();
  // Appends other's figures; with connect, a leading move to the current point of an open figure
  // continues that figure instead of starting a new one.
  void Append(const TMetaPath& other, bool connect = false);

  bool Empty() const { return ops_.empty(); }
  // Each kMove and kLine takes one point, each kCubic three, kClose none.
  const std::vector<TOp>& Ops() const { return ops_; }
  const std::vector<TPointD>& Points() const { return points_; }

 private:
  std::vector<TOp> ops_;
  std::vector<TPointD> points_;
  bool open_figure_ = false;
};

enum class TMetaPenStyle { kSolid, kDash, kDot, kDashDot, kDashDotDot, kNull };
enum class TMetaLineCap { kRound, kSquare, kFlat };
enum class TMetaLineJoin { kRound, kBevel, kMiter };

// Colours here are colour values: red in the low byte, green in the second, blue in the third.
struct TMetaPen {
  TMetaPenStyle style = TMetaPenStyle::kSolid;
  double width = 0;  // in pixels; 0 draws the thinnest line the canvas has (one pixel)
  uint32_t color = 0;
  TMetaLineCap cap = TMetaLineCap::kRound;
  TMetaLineJoin join = TMetaLineJoin::kRound;
  friend bool operator==(const TMetaPen&, const TMetaPen&) = default;
};

enum class TMetaBrushStyle { kSolid, kNull, kHatched, kPattern };

struct TMetaBrush {
  TMetaBrushStyle style = TMetaBrushStyle::kSolid;
  uint32_t color = 0xFFFFFF;
  // Hatch lines for kHatched: 0 horizontal, 1 vertical, 2 "\" diagonal, 3 "/" diagonal, 4 cross,
  // 5 diagonal cross.
  int hatch = 0;
  std::shared_ptr<const TPicture> pattern;  // the tile for kPattern
  friend bool operator==(const TMetaBrush&, const TMetaBrush&) = default;
};

struct TMetaFont {
  double height = 16;  // em height in pixels
  double angle = 0;    // baseline direction in degrees, counterclockwise on the picture
  int weight = 400;
  bool italic = false;
  bool underline = false;
  bool strikeout = false;
  std::string face;  // UTF-8; empty for the canvas's default face
  friend bool operator==(const TMetaFont&, const TMetaFont&) = default;
};

enum class TMetaFillRule { kAlternate, kWinding };
enum class TMetaHAlign { kLeft, kCenter, kRight };
enum class TMetaVAlign { kTop, kBaseline, kBottom };

struct TMetaText {
  TPointD origin;  // the point the alignment refers to
  std::u16string text;
  TMetaHAlign h_align = TMetaHAlign::kLeft;
  TMetaVAlign v_align = TMetaVAlign::kTop;
  bool opaque = false;   // fill `rect` with the background colour first
  bool clipped = false;  // draw the text only inside `rect`
  TMetaPath rect;        // a rectangle (possibly turned) for `opaque` and `clipped`
};

class TMetafileCanvas {
 public:
  virtual ~TMetafileCanvas() = default;

  // The state used by the drawing calls that follow.
  virtual void SetPen(const TMetaPen& pen) = 0;
  virtual void SetBrush(const TMetaBrush& brush) = 0;
  virtual void SetFont(const TMetaFont& font) = 0;
  virtual void SetTextColor(uint32_t color) = 0;
  // The colour behind text, hatches and broken lines while the background mode is opaque.
  virtual void SetBackgroundColor(uint32_t color) = 0;
  virtual void SetBackgroundMode(bool opaque) = 0;
  virtual void SetFillRule(TMetaFillRule rule) = 0;

  // Fills the path's figures (closing open ones) with the brush and/or strokes them with the pen.
  virtual void DrawPath(const TMetaPath& path, bool fill, bool stroke) = 0;
  // Draws text with the font and text colour.
  virtual void DrawText(const TMetaText& text) = 0;
  // Draws the source rectangle of a picture (in its pixels, top row 0) scaled into the target
  // rectangle; a target with right < left or bottom < top mirrors the picture.
  virtual void DrawPicture(const TPicture& picture, const TRectD& source, const TRectD& target) = 0;

  // Save pushes the clipping region, Restore pops it (unbalanced Restore calls do nothing).
  virtual void Save() = 0;
  virtual void Restore() = 0;
  // Drawing is limited to the inside (nonzero winding) of the path, or its outside, from now on,
  // within the current clipping region.
  virtual void IntersectClip(const TMetaPath& area) = 0;
  virtual void ExcludeClip(const TMetaPath& area) = 0;
  // Removes every clipping limit.
  virtual void ResetClip() = 0;
};

// Makes a canvas that draws onto the picture, which outlives it; the picture's size is fixed
// while the canvas lives.
using TMetafileCanvasFactory = std::function<std::unique_ptr<TMetafileCanvas>(TPicture& picture)>;

}  // namespace sk
