// EMF records decoded into calls on the shared metafile device context.
#include "imaging/EMFReader.h"

#include <bit>
#include <cmath>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "imaging/ByteReader.h"
#include "imaging/EMFFormat.h"
#include "imaging/InvalidGraphic.h"
#include "platform/Win1252.h"

namespace sk {

namespace {

using namespace emf;

struct THeader {
  int32_t frame_left = 0, frame_top = 0, frame_right = 0, frame_bottom = 0;
  uint16_t handles = 0;
  int32_t device_cx = 0, device_cy = 0, mm_cx = 0, mm_cy = 0;
  size_t size = 0;
};

THeader ReadHeader(const TByteReader& r) {
  THeader h;
  if (r.U32At(0) != kHeader || r.U32At(40) != kSignature) r.Fail();
  const uint32_t size = r.U32At(4);
  if (size < kHeaderMinSize || size > r.Size()) r.Fail();
  h.size = size;
  h.frame_left = static_cast<int32_t>(r.U32At(24));
  h.frame_top = static_cast<int32_t>(r.U32At(28));
  h.frame_right = static_cast<int32_t>(r.U32At(32));
  h.frame_bottom = static_cast<int32_t>(r.U32At(36));
  h.handles = static_cast<uint16_t>(r.U32At(56) & 0xFFFF);
  h.device_cx = static_cast<int32_t>(r.U32At(72));
  h.device_cy = static_cast<int32_t>(r.U32At(76));
  h.mm_cx = static_cast<int32_t>(r.U32At(80));
  h.mm_cy = static_cast<int32_t>(r.U32At(84));
  return h;
}

int64_t PixelsOf(int64_t hundredths_mm) {
  return std::llround(static_cast<double>(hundredths_mm) * 96 / 2540);
}

float F32(TByteReader& p) {
  return std::bit_cast<float>(p.U32());
}

TPointD ReadPoint(TByteReader& p) {
  const double x = p.S32();
  const double y = p.S32();
  return {x, y};
}

TRectD ReadRect(TByteReader& p) {
  TRectD r;
  r.left = p.S32();
  r.top = p.S32();
  r.right = p.S32();
  r.bottom = p.S32();
  return r;
}

TMatrix ReadXform(TByteReader& p) {
  TMatrix m;
  m.m11 = F32(p);
  m.m12 = F32(p);
  m.m21 = F32(p);
  m.m22 = F32(p);
  m.dx = F32(p);
  m.dy = F32(p);
  return m;
}

std::vector<TPointD> ReadPoints(TByteReader& p, uint64_t count, bool small) {
  const uint64_t point_size = small ? 4 : 8;
  if (count > p.Remaining() / point_size) p.Fail();
  std::vector<TPointD> points(count);
  for (TPointD& point : points) {
    point.x = small ? p.S16() : p.S32();
    point.y = small ? p.S16() : p.S32();
  }
  return points;
}

using TObject = TMetaObject;

// The stock objects that GetStockObject gives, by index.
std::optional<TObject> StockObject(uint32_t index) {
  TObject object;
  const auto brush = [&](uint32_t color) {
    object.kind = TObject::TKind::kBrush;
    object.brush = MakeMetaBrush(0, color, 0);
  };
  const auto pen = [&](uint32_t style, uint32_t color) {
    object.kind = TObject::TKind::kPen;
    object.pen.style = style;
    object.pen.color = color;
  };
  switch (index) {
    case 0: brush(0xFFFFFF); break;
    case 1: brush(0xC0C0C0); break;
    case 2: brush(0x808080); break;
    case 3: brush(0x404040); break;
    case 4: brush(0x000000); break;
    case 5:
      object.kind = TObject::TKind::kBrush;
      object.brush = MakeMetaBrush(1, 0, 0);
      break;
    case 6: pen(0, 0xFFFFFF); break;
    case 7: pen(0, 0x000000); break;
    case 8: pen(5, 0); break;
    case 10:
    case 11:
    case 12:
    case 13:
    case 14:
    case 16:
    case 17: object.kind = TObject::TKind::kFont; break;
    case 18: brush(0xFFFFFF); break;  // DC brush: white until set
    case 19: pen(0, 0); break;        // DC pen: black until set
    default: return std::nullopt;
  }
  return object;
}

class TEmfPlayer {
 public:
  TEmfPlayer(TMetafilePlayer& player, uint16_t handles) : player_(player), handles_(handles) {}

  void Play(uint32_t type, TByteReader& p);

 private:
  // The slot at a table index (0 is reserved); an index outside the table is a malformed file.
  std::optional<TObject>& Slot(uint32_t index, const TByteReader& p) {
    if (index == 0 || index >= handles_) p.Fail();
    return objects_[index];
  }
  void Poly(uint32_t type, TByteReader& p, bool small);
  void PolyPoly(uint32_t type, TByteReader& p, bool small);
  void Text(TByteReader& p, bool wide);
  // The BITMAPINFO and bits a record points at with offsets from its start.
  std::span<const uint8_t> Part(const TByteReader& p, uint32_t offset, uint32_t size) const {
    return p.SpanAt(offset, size);
  }
  void Blit(TByteReader& p, bool stretch);
  void StretchDIBits(TByteReader& p);
  void SetDIBitsToDevice(TByteReader& p);
  void ClipRegion(TByteReader& p);

  TMetafilePlayer& player_;
  uint32_t handles_;
  // Only the slots used are kept, so a header claiming a large table costs nothing.
  std::map<uint32_t, std::optional<TObject>> objects_;
};

void TEmfPlayer::Poly(uint32_t type, TByteReader& p, bool small) {
  p.Seek(24);  // after the bounds
  const std::vector<TPointD> points = ReadPoints(p, p.U32(), small);
  switch (type) {
    case kPolyBezier:
    case kPolyBezier16: player_.PolyBezier(points); break;
    case kPolygon:
    case kPolygon16: player_.Polygon(points); break;
    case kPolyline:
    case kPolyline16: player_.Polyline(points); break;
    case kPolyBezierTo:
    case kPolyBezierTo16: player_.PolyBezierTo(points); break;
    case kPolylineTo:
    case kPolylineTo16: player_.PolylineTo(points); break;
    default: break;
  }
}

void TEmfPlayer::PolyPoly(uint32_t type, TByteReader& p, bool small) {
  p.Seek(24);
  const uint32_t figures = p.U32();
  const uint32_t total = p.U32();
  if (figures > p.Remaining() / 4) p.Fail();
  std::vector<uint32_t> counts(figures);
  uint64_t sum = 0;
  for (uint32_t& count : counts) sum += count = p.U32();
  if (sum != total || total > p.Remaining() / (small ? 4 : 8)) p.Fail();
  std::vector<std::vector<TPointD>> shapes;
  shapes.reserve(figures);
  for (uint32_t count : counts) shapes.push_back(ReadPoints(p, count, small));
  if (type == kPolyPolygon || type == kPolyPolygon16) {
    player_.PolyPolygon(shapes);
  } else {
    player_.PolyPolyline(shapes);
  }
}

void TEmfPlayer::Text(TByteReader& p, bool wide) {
  p.Seek(36);  // bounds, graphics mode, x and y scale
  const TPointD origin = ReadPoint(p);
  const uint32_t count = p.U32();
  const uint32_t offset = p.U32();
  const uint32_t options = p.U32();
  const TRectD rect = ReadRect(p);
  p.U32();  // character advances: the canvas lays out the text with its own font
  const uint64_t bytes = wide ? uint64_t{count} * 2 : count;
  TByteReader chars = p.Sub(offset, bytes);
  if ((options & 0x10) != 0) return;  // glyph indices of a font we do not have
  std::u16string text;
  text.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    text.push_back(wide ? static_cast<char16_t>(chars.U16LE()) : Win1252ToUnicode(chars.U8()));
  }
  const bool has_rect = (options & 6) != 0 && (options & 0x100) == 0;
  player_.Text(origin, std::move(text), options, has_rect ? &rect : nullptr);
}

void TEmfPlayer::Blit(TByteReader& p, bool stretch) {
  p.Seek(24);
  const double x = p.S32();
  const double y = p.S32();
  const double cx = p.S32();
  const double cy = p.S32();
  const uint32_t rop = p.U32();
  const double sx = p.S32();
  const double sy = p.S32();
  p.Skip(24 + 4);  // source transform, source background colour
  const uint32_t usage = p.U32();
  const uint32_t off_bmi = p.U32();
  const uint32_t cb_bmi = p.U32();
  const uint32_t off_bits = p.U32();
  const uint32_t cb_bits = p.U32();
  double scx = cx;
  double scy = cy;
  if (stretch) {
    scx = p.S32();
    scy = p.S32();
  }
  const TRectD target{x, y, x + cx, y + cy};
  if (cb_bmi == 0) return player_.PatBlt(target, rop);
  const std::span<const uint8_t> info = Part(p, off_bmi, cb_bmi);
  const std::span<const uint8_t> bits = Part(p, off_bits, cb_bits);
  if (usage != 0) return;
  const TPicture picture = DecodeMetafileDib(info, bits);
  player_.DrawPicture(
      picture, DibSourceRect(picture, MetafileDibHeight(info), sx, sy, scx, scy, false), target);
}

void TEmfPlayer::StretchDIBits(TByteReader& p) {
  p.Seek(24);
  const double x = p.S32();
  const double y = p.S32();
  const double sx = p.S32();
  const double sy = p.S32();
  const double scx = p.S32();
  const double scy = p.S32();
  const uint32_t off_bmi = p.U32();
  const uint32_t cb_bmi = p.U32();
  const uint32_t off_bits = p.U32();
  const uint32_t cb_bits = p.U32();
  const uint32_t usage = p.U32();
  const uint32_t rop = p.U32();
  const double cx = p.S32();
  const double cy = p.S32();
  const TRectD target{x, y, x + cx, y + cy};
  if (cb_bmi == 0) return player_.PatBlt(target, rop);
  const std::span<const uint8_t> info = Part(p, off_bmi, cb_bmi);
  const std::span<const uint8_t> bits = Part(p, off_bits, cb_bits);
  if (usage != 0) return;
  const TPicture picture = DecodeMetafileDib(info, bits);
  player_.DrawPicture(
      picture, DibSourceRect(picture, MetafileDibHeight(info), sx, sy, scx, scy, true), target);
}

void TEmfPlayer::SetDIBitsToDevice(TByteReader& p) {
  p.Seek(24);
  const double x = p.S32();
  const double y = p.S32();
  const double sx = p.S32();
  const double sy = p.S32();
  const double cx = p.S32();
  const double cy = p.S32();
  const uint32_t off_bmi = p.U32();
  const uint32_t cb_bmi = p.U32();
  const uint32_t off_bits = p.U32();
  const uint32_t cb_bits = p.U32();
  const uint32_t usage = p.U32();
  p.Skip(8);  // first scan, scan count: the DIB holds the rows drawn
  const std::span<const uint8_t> info = Part(p, off_bmi, cb_bmi);
  const std::span<const uint8_t> bits = Part(p, off_bits, cb_bits);
  if (usage != 0) return;
  const TPicture picture = DecodeMetafileDib(info, bits);
  player_.DrawPicture(picture,
                      DibSourceRect(picture, MetafileDibHeight(info), sx, sy, cx, cy, true),
                      {x, y, x + cx, y + cy});
}

void TEmfPlayer::ClipRegion(TByteReader& p) {
  p.Seek(8);
  const uint32_t size = p.U32();
  const uint32_t mode = p.U32();
  std::vector<TRectD> rects;
  if (size != 0) {
    TByteReader data = p.TakeReader(size);
    data.Seek(8);
    const uint32_t count = data.U32();
    data.Seek(32);
    if (count > data.Remaining() / 16) data.Fail();
    rects.resize(count);
    for (TRectD& r : rects) r = ReadRect(data);
  }
  player_.SelectClipRegion(rects, mode);
}

void TEmfPlayer::Play(uint32_t type, TByteReader& p) {
  p.Seek(8);
  switch (type) {
    case kPolyBezier:
    case kPolygon:
    case kPolyline:
    case kPolyBezierTo:
    case kPolylineTo: return Poly(type, p, false);
    case kPolyBezier16:
    case kPolygon16:
    case kPolyline16:
    case kPolyBezierTo16:
    case kPolylineTo16: return Poly(type, p, true);
    case kPolyPolyline:
    case kPolyPolygon: return PolyPoly(type, p, false);
    case kPolyPolyline16:
    case kPolyPolygon16: return PolyPoly(type, p, true);
    case kSetWindowExtEx: return player_.SetWindowExt(ReadPoint(p));
    case kSetWindowOrgEx: return player_.SetWindowOrg(ReadPoint(p));
    case kSetViewportExtEx: return player_.SetViewportExt(ReadPoint(p));
    case kSetViewportOrgEx: return player_.SetViewportOrg(ReadPoint(p));
    case kScaleViewportExtEx:
    case kScaleWindowExtEx: {
      const double x_num = p.S32();
      const double x_denom = p.S32();
      const double y_num = p.S32();
      const double y_denom = p.S32();
      if (type == kScaleWindowExtEx) return player_.ScaleWindowExt(x_num, x_denom, y_num, y_denom);
      return player_.ScaleViewportExt(x_num, x_denom, y_num, y_denom);
    }
    case kSetPixelV: {
      const TPointD at = ReadPoint(p);
      return player_.SetPixel(at, p.U32());
    }
    case kSetMapMode: return player_.SetMapMode(p.U32());
    case kSetBkMode: return player_.SetBackgroundMode(p.U32());
    case kSetPolyFillMode: return player_.SetPolyFillMode(p.U32());
    case kSetTextAlign: return player_.SetTextAlign(p.U32());
    case kSetTextColor: return player_.SetTextColor(p.U32());
    case kSetBkColor: return player_.SetBackgroundColor(p.U32());
    case kMoveToEx: return player_.MoveTo(ReadPoint(p));
    case kLineTo: return player_.LineTo(ReadPoint(p));
    case kExcludeClipRect: return player_.ExcludeClipRect(ReadRect(p));
    case kIntersectClipRect: return player_.IntersectClipRect(ReadRect(p));
    case kSaveDC: return player_.SaveDC();
    case kRestoreDC: return player_.RestoreDC(p.S32());
    case kSetWorldTransform: return player_.SetWorldTransform(ReadXform(p));
    case kModifyWorldTransform: {
      const TMatrix m = ReadXform(p);
      return player_.ModifyWorldTransform(m, p.U32());
    }
    case kSelectObject: {
      const uint32_t index = p.U32();
      std::optional<TObject> stock;
      const std::optional<TObject>* object = nullptr;
      if ((index & kStockObject) != 0) {
        stock = StockObject(index & ~kStockObject);
        object = &stock;
      } else {
        object = &Slot(index, p);
      }
      if (!*object) return;
      switch ((*object)->kind) {
        case TObject::TKind::kPen: return player_.SelectPen((*object)->pen);
        case TObject::TKind::kBrush: return player_.SelectBrush((*object)->brush);
        case TObject::TKind::kFont: return player_.SelectFont((*object)->font);
        case TObject::TKind::kOther: return;
      }
      return;
    }
    case kDeleteObject: {
      const uint32_t index = p.U32();
      if ((index & kStockObject) == 0) {
        Slot(index, p);
        objects_.erase(index);
      }
      return;
    }
    case kSelectPalette: {
      const uint32_t index = p.U32();
      if ((index & kStockObject) == 0) Slot(index, p);
      return;
    }
    case kCreatePen: {
      std::optional<TObject>& slot = Slot(p.U32(), p);
      TObject object;
      object.kind = TObject::TKind::kPen;
      object.pen.style = p.U32();
      object.pen.width = p.S32();
      p.S32();  // unused
      object.pen.color = p.U32();
      object.pen.cosmetic = object.pen.width == 0;
      slot = std::move(object);
      return;
    }
    case kExtCreatePen: {
      std::optional<TObject>& slot = Slot(p.U32(), p);
      p.Skip(16);  // the brush bitmap of a patterned pen: the pen draws in its colour
      TObject object;
      object.kind = TObject::TKind::kPen;
      object.pen.style = p.U32();
      object.pen.width = p.U32();
      const uint32_t brush_style = p.U32();
      object.pen.color = p.U32();
      p.U32();  // hatch
      p.U32();  // style entries: a user style draws solid
      object.pen.cosmetic = (object.pen.style & 0xF0000) == 0 || object.pen.width == 0;
      if (brush_style == 1) object.pen.style = (object.pen.style & ~0xFu) | 5;  // hollow brush
      slot = std::move(object);
      return;
    }
    case kCreateBrushIndirect: {
      std::optional<TObject>& slot = Slot(p.U32(), p);
      TObject object;
      object.kind = TObject::TKind::kBrush;
      const uint32_t style = p.U32();
      const uint32_t color = p.U32();
      const uint32_t hatch = p.U32();
      object.brush = MakeMetaBrush(style, color, hatch);
      slot = std::move(object);
      return;
    }
    case kCreateDIBPatternBrushPt:
    case kCreateMonoBrush: {
      std::optional<TObject>& slot = Slot(p.U32(), p);
      const uint32_t usage = p.U32();
      const uint32_t off_bmi = p.U32();
      const uint32_t cb_bmi = p.U32();
      const uint32_t off_bits = p.U32();
      const uint32_t cb_bits = p.U32();
      const std::span<const uint8_t> info = Part(p, off_bmi, cb_bmi);
      const std::span<const uint8_t> bits = Part(p, off_bits, cb_bits);
      TObject object;
      object.kind = TObject::TKind::kBrush;
      if (usage != 0 && type == kCreateDIBPatternBrushPt) {
        object.brush = MakeMetaBrush(0, 0, 0);  // palette indices: no colours to show
      } else {
        object.brush.style = TMetaBrushStyle::kPattern;
        object.brush.pattern = std::make_shared<const TPicture>(DecodeMetafileDib(info, bits));
      }
      slot = std::move(object);
      return;
    }
    case kExtCreateFontIndirectW: {
      std::optional<TObject>& slot = Slot(p.U32(), p);
      TObject object;
      object.kind = TObject::TKind::kFont;
      TLogFont& font = object.font;
      font.height = p.S32();
      p.S32();  // width
      font.escapement = p.S32();
      p.S32();  // orientation
      font.weight = p.S32();
      font.italic = p.U8() != 0;
      font.underline = p.U8() != 0;
      font.strikeout = p.U8() != 0;
      p.Skip(5);
      std::u16string face;
      while (p.Remaining() >= 2 && face.size() < 32) {
        const char16_t c = p.U16();
        if (c == 0) break;
        face.push_back(c);
      }
      // Face names are nearly always Latin; characters outside Windows-1252 become "?".
      std::string bytes;
      for (char16_t c : face) bytes.push_back(static_cast<char>(UnicodeToWin1252(c).value_or('?')));
      font.face = Win1252ToUtf8(bytes);
      slot = std::move(object);
      return;
    }
    case kCreatePalette: Slot(p.U32(), p) = TObject{}; return;
    case kAngleArc: {
      const TPointD center = ReadPoint(p);
      const double radius = p.U32();
      const double start = F32(p);
      const double sweep = F32(p);
      return player_.AngleArc(center, radius, start, sweep);
    }
    case kEllipse: return player_.Ellipse(ReadRect(p));
    case kRectangle: return player_.Rectangle(ReadRect(p));
    case kRoundRect: {
      const TRectD box = ReadRect(p);
      const double w = p.S32();
      const double h = p.S32();
      return player_.RoundRect(box, w, h);
    }
    case kArc:
    case kChord:
    case kPie:
    case kArcTo: {
      const TRectD box = ReadRect(p);
      const TPointD start = ReadPoint(p);
      const TPointD end = ReadPoint(p);
      const TArcKind kind = type == kArc     ? TArcKind::kArc
                            : type == kChord ? TArcKind::kChord
                            : type == kPie   ? TArcKind::kPie
                                             : TArcKind::kArcTo;
      return player_.Arc(kind, box, start, end);
    }
    case kSetArcDirection: return player_.SetArcDirection(p.U32());
    case kBeginPath: return player_.BeginPath();
    case kEndPath: return player_.EndPath();
    case kCloseFigure: return player_.CloseFigure();
    case kAbortPath: return player_.AbortPath();
    case kFillPath: return player_.FillPath();
    case kStrokePath: return player_.StrokePath();
    case kStrokeAndFillPath: return player_.StrokeAndFillPath();
    case kSelectClipPath: return player_.SelectClipPath(p.U32());
    case kExtSelectClipRgn: return ClipRegion(p);
    case kExtTextOutA: return Text(p, false);
    case kExtTextOutW: return Text(p, true);
    case kBitBlt: return Blit(p, false);
    case kStretchBlt: return Blit(p, true);
    case kStretchDIBits: return StretchDIBits(p);
    case kSetDIBitsToDevice: return SetDIBitsToDevice(p);
    default: return;  // comments, palettes, regions, raster modes and unknown records
  }
}

}  // namespace

bool LooksLikeEMF(std::span<const uint8_t> file) {
  TByteReader r(file, kUnrecognizedMetafile);
  return r.Contains(0, kHeaderMinSize) && r.U32At(0) == kHeader && r.U32At(40) == kSignature;
}

TMetafileSize EMFSize(std::span<const uint8_t> file) {
  TByteReader r(file, kUnrecognizedMetafile);
  const THeader h = ReadHeader(r);
  return {PixelsOf(int64_t{h.frame_right} - h.frame_left),
          PixelsOf(int64_t{h.frame_bottom} - h.frame_top)};
}

void PlayEMF(std::span<const uint8_t> file, TMetafileCanvas& canvas) {
  TByteReader r(file, kUnrecognizedMetafile);
  const THeader h = ReadHeader(r);
  const TMetafileSize size = EMFSize(file);
  // The reference device's pixels per millimetre; a header without them is taken as 96 dpi.
  TPlayback playback;
  if (h.device_cx > 0 && h.device_cy > 0 && h.mm_cx > 0 && h.mm_cy > 0) {
    playback.device_pixels_per_mm_x = static_cast<double>(h.device_cx) / h.mm_cx;
    playback.device_pixels_per_mm_y = static_cast<double>(h.device_cy) / h.mm_cy;
  }
  // The frame, in reference-device pixels, maps onto the picture rectangle.
  const double left = h.frame_left / 100.0 * playback.device_pixels_per_mm_x;
  const double top = h.frame_top / 100.0 * playback.device_pixels_per_mm_y;
  const double width =
      (static_cast<double>(h.frame_right) - h.frame_left) / 100.0 * playback.device_pixels_per_mm_x;
  const double height =
      (static_cast<double>(h.frame_bottom) - h.frame_top) / 100.0 * playback.device_pixels_per_mm_y;
  if (width == 0 || height == 0) return;  // nothing to draw on
  const double sx = static_cast<double>(size.width) / width;
  const double sy = static_cast<double>(size.height) / height;
  playback.device_to_picture = TMatrix{sx, 0, 0, sy, -left * sx, -top * sy};
  playback.picture = size;
  TMetafilePlayer player(canvas, playback);
  TEmfPlayer emf(player, h.handles);
  r.Seek(h.size);
  while (!r.AtEnd()) {
    const size_t start = r.Position();
    const uint32_t type = r.U32();
    const uint32_t record_size = r.U32();
    if (record_size < 8) r.Fail();
    r.Seek(start);
    TByteReader record = r.TakeReader(record_size);
    if (type == kEof) return;
    emf.Play(type, record);
  }
}

}  // namespace sk
