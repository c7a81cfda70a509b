// The device context shared by the WMF and EMF record parsers: mapping from logical coordinates to
// the picture, selected pen, brush and font, colours and modes, the saved-state stack, paths and
// clipping. Parsers decode records and call it with logical values; it turns shapes into paths
// in picture pixels and hands them to a TMetafileCanvas.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "imaging/MetafileCanvas.h"
#include "imaging/Picture.h"

namespace sk {

// An affine transform as GDI writes it: x' = m11 x + m21 y + dx, y' = m12 x + m22 y + dy.
struct TMatrix {
  double m11 = 1, m12 = 0, m21 = 0, m22 = 1, dx = 0, dy = 0;
  TPointD Map(TPointD p) const { return {m11 * p.x + m21 * p.y + dx, m12 * p.x + m22 * p.y + dy}; }
  // This transform followed by next.
  TMatrix Then(const TMatrix& next) const;
  bool Finite() const;
};

// A pen as the metafile defines it: width in logical units, GDI style bits.
struct TLogPen {
  uint32_t style = 0;  // PS_* style, end cap and join bits
  double width = 0;
  uint32_t color = 0;
  bool cosmetic = true;  // always one pixel wide, whatever the mapping
};

// A font as the metafile defines it: height in logical units (negative: em height, positive:
// cell height), escapement in tenths of a degree.
struct TLogFont {
  double height = -12;
  double escapement = 0;
  int weight = 400;
  bool italic = false;
  bool underline = false;
  bool strikeout = false;
  std::string face;  // UTF-8
};

// An entry of a metafile's object table: the pen, brush or font a record created (any other
// kind of object is kept only so that its index is taken).
struct TMetaObject {
  enum class TKind { kPen, kBrush, kFont, kOther } kind = TKind::kOther;
  TLogPen pen;
  TMetaBrush brush;
  TLogFont font;
};

// A brush from a logical brush's style (0 solid, 1 null, 2 hatched, others solid), colour (red in
// the low byte) and hatch (0 to 5, others 0).
TMetaBrush MakeMetaBrush(uint32_t style, uint32_t color, uint32_t hatch);

// A metafile's size in pixels, as the header gives it.
struct TMetafileSize {
  int64_t width = 0;
  int64_t height = 0;
};

enum class TArcKind { kArc, kChord, kPie, kArcTo };

// Where a metafile lands on the picture: what its "device" units are and how the device maps to
// the picture. WMF devices are the picture itself and ignore mapping modes and viewports; EMF
// devices are the reference device of the header.
struct TPlayback {
  TMatrix device_to_picture;
  bool wmf = false;
  TPointD viewport_ext{1, 1};  // the viewport a WMF's window maps onto: the picture's size
  double device_pixels_per_mm_x = 96 / 25.4;
  double device_pixels_per_mm_y = 96 / 25.4;
  TMetafileSize picture;  // the picture drawn on, which bounds what one drawing call can cost
};

// The most work playback gives the canvas: the sum, over every drawing and clipping call, of the
// picture pixels the call may touch (its bounding box, widened by the pen, within the picture;
// for a DIB also the DIB's pixels) and the points of its outline. 2^32 is a few dozen fills of a
// picture at kMaxPicturePixels, or thousands of fills of a photograph-sized one. A metafile whose
// records go beyond it (the same huge fill repeated from a small file) is refused with
// EInvalidGraphic(kUnrecognizedMetafile) at the record that crosses it.
inline constexpr double kMaxMetafileDrawWork = 4294967296.0;

class TMetafilePlayer {
 public:
  TMetafilePlayer(TMetafileCanvas& canvas, const TPlayback& playback);

  // ---- Mapping ----
  void SetMapMode(uint32_t mode);
  void SetWindowOrg(TPointD p);
  void SetWindowExt(TPointD extent);
  void SetViewportOrg(TPointD p);
  void SetViewportExt(TPointD extent);
  void OffsetWindowOrg(TPointD delta);
  void OffsetViewportOrg(TPointD delta);
  void ScaleWindowExt(double x_num, double x_denom, double y_num, double y_denom);
  void ScaleViewportExt(double x_num, double x_denom, double y_num, double y_denom);
  void SetWorldTransform(const TMatrix& matrix);
  // mode: 1 identity, 2 left-multiply, 3 right-multiply, 4 set.
  void ModifyWorldTransform(const TMatrix& matrix, uint32_t mode);

  // ---- Attributes ----
  void SelectPen(const TLogPen& pen);
  void SelectBrush(const TMetaBrush& brush);
  void SelectFont(const TLogFont& font);
  void SetTextColor(uint32_t color);
  void SetBackgroundColor(uint32_t color);
  void SetBackgroundMode(uint32_t mode);     // 1 transparent, 2 opaque
  void SetPolyFillMode(uint32_t mode);       // 1 alternate, 2 winding
  void SetTextAlign(uint32_t align);         // TA_* bits
  void SetArcDirection(uint32_t direction);  // 1 counterclockwise, 2 clockwise
  uint32_t TextColor() const { return dc_.text_color; }
  uint32_t BackgroundColor() const { return dc_.background_color; }

  // Pushes the whole state; restore pops to a relative (negative) or absolute (positive) level.
  // Out of range levels are ignored.
  void SaveDC();
  void RestoreDC(int32_t level);

  // ---- Drawing, in logical coordinates ----
  void MoveTo(TPointD p);
  void LineTo(TPointD p);
  void Polyline(std::span<const TPointD> points);
  void PolylineTo(std::span<const TPointD> points);
  void PolyBezier(std::span<const TPointD> points);
  void PolyBezierTo(std::span<const TPointD> points);
  void Polygon(std::span<const TPointD> points);
  void PolyPolygon(const std::vector<std::vector<TPointD>>& polygons);
  void PolyPolyline(const std::vector<std::vector<TPointD>>& polylines);
  void Rectangle(const TRectD& box);
  void RoundRect(const TRectD& box, double corner_width, double corner_height);
  void Ellipse(const TRectD& box);
  void Arc(TArcKind kind, const TRectD& box, TPointD start, TPointD end);
  void AngleArc(TPointD center, double radius, double start_degrees, double sweep_degrees);
  void SetPixel(TPointD p, uint32_t color);
  // options: ETO_* bits (2 opaque, 4 clipped); rect is used by those two.
  void Text(TPointD origin, std::u16string text, uint32_t options, const TRectD* rect);
  // Draws a decoded DIB's source rectangle into a logical rectangle.
  void DrawPicture(const TPicture& picture, const TRectD& source, const TRectD& target);
  // A raster operation without a source: PATCOPY fills with the brush, BLACKNESS and WHITENESS
  // with black and white; the others are not drawn.
  void PatBlt(const TRectD& target, uint32_t rop);

  // ---- Paths ----
  void BeginPath();
  void EndPath();
  void CloseFigure();
  void AbortPath();
  void FillPath();
  void StrokePath();
  void StrokeAndFillPath();
  // mode: 1 and, 4 diff, 5 copy (others: and).
  void SelectClipPath(uint32_t mode);

  // ---- Clipping ----
  void IntersectClipRect(const TRectD& box);
  void ExcludeClipRect(const TRectD& box);
  void ResetClip();
  // A region of rectangles in device units; mode as SelectClipPath.
  void SelectClipRegion(const std::vector<TRectD>& device_rects, uint32_t mode);

 private:
  struct TDC {
    uint32_t map_mode = 1;
    TPointD window_org, window_ext{1, 1}, viewport_org, viewport_ext{1, 1};
    TMatrix world;
    TLogPen pen;
    TMetaBrush brush;
    TLogFont font;
    uint32_t text_color = 0;
    uint32_t background_color = 0xFFFFFF;
    bool opaque_background = true;
    TMetaFillRule fill_rule = TMetaFillRule::kAlternate;
    uint32_t text_align = 0;
    bool clockwise = false;
    TPointD position;
  };

  // Logical coordinates to picture pixels for the current state.
  TMatrix Total() const { return total_; }
  void UpdateTransform();
  TPointD Map(TPointD p) const { return total_.Map(p); }
  void AddRectangle(TMetaPath& path, const TRectD& box) const;
  void AddEllipticArc(TMetaPath& path, const TRectD& box, double start, double sweep,
                      bool move_first) const;
  double ArcAngle(const TRectD& box, TPointD p) const;
  double ArcSweep(double start, double end) const;
  // Draws a figure (or adds it to the path being defined).
  void Emit(const TMetaPath& path, bool fill, bool stroke, bool connect = false);
  void SyncCanvas(bool pen, bool brush, bool font);
  TMetaPen DevicePen() const;
  TMetaFont DeviceFont() const;
  TMetaPath DeviceRect(const TRectD& box, const TMatrix& m) const;
  void ClipWith(const TMetaPath& area, uint32_t mode);
  // Counts a call on the canvas against kMaxMetafileDrawWork (see there): the box of the path
  // widened by margin on every side, or the box given; raises when the budget is spent.
  void Charge(const TMetaPath& path, double margin);
  void ChargeBox(double left, double top, double right, double bottom, double points);

  TMetafileCanvas& canvas_;
  TPlayback playback_;
  TDC dc_;
  std::vector<TDC> saved_;
  TMatrix total_;
  bool in_path_ = false;
  TMetaPath path_;
  // What the canvas was last told; empty when unknown.
  std::optional<TMetaPen> sent_pen_;
  std::optional<TMetaBrush> sent_brush_;
  std::optional<TMetaFont> sent_font_;
  std::optional<uint32_t> sent_text_color_, sent_background_color_;
  std::optional<bool> sent_opaque_;
  std::optional<TMetaFillRule> sent_fill_rule_;
  double work_ = 0;  // spent of kMaxMetafileDrawWork
};

// Decodes a DIB held in a metafile record through the BMP reader: the BITMAPINFO (header and
// colour table) and the pixel bits, which may be separate or packed one after the other (then
// `bits` is empty). DIBs larger than kMaxMetafileDibPixels or than 256 pixels per byte of the
// DIB (beyond 65,536 pixels), headers that do not fit, and anything the BMP reader refuses raise
// EInvalidGraphic(kUnrecognizedMetafile).
inline constexpr int64_t kMaxMetafileDibPixels = int64_t{1} << 24;
TPicture DecodeMetafileDib(std::span<const uint8_t> info, std::span<const uint8_t> bits);

// The DIB's height as its header gives it (negative for top-down DIBs), read from a header that
// DecodeMetafileDib accepted.
int32_t MetafileDibHeight(std::span<const uint8_t> info);

// The rectangle of a decoded DIB that a record's source rectangle names. StretchDIBits and
// SetDIBitsToDevice count rows from the bottom of a bottom-up DIB (bottom_up_origin); BitBlt
// sources count from the top.
TRectD DibSourceRect(const TPicture& picture, int32_t dib_height, double x, double y, double width,
                     double height, bool bottom_up_origin);

}  // namespace sk
