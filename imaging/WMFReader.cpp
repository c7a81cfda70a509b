// WMF records decoded into calls on the shared metafile device context. Parameters of WMF
// records are stored in reverse order of the GDI call (the last argument first).
#include "imaging/WMFReader.h"

#include <cmath>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "imaging/ByteReader.h"
#include "imaging/InvalidGraphic.h"
#include "imaging/WMFFormat.h"
#include "platform/Win1252.h"

namespace sk {

namespace {

using namespace wmf;

struct THeader {
  bool placeable = false;
  int16_t left = 0, top = 0, right = 0, bottom = 0;
  uint16_t inch = 0;
  size_t records = 0;  // offset of the first record
  uint16_t objects = 0;
};

THeader ReadHeader(TByteReader& r) {
  THeader h;
  if (r.Size() >= 4 && r.U32At(0) == kPlaceableKey) {
    r.Seek(6);  // key, metafile handle
    h.left = r.S16();
    h.top = r.S16();
    h.right = r.S16();
    h.bottom = r.S16();
    h.inch = r.U16();
    r.Skip(6);  // reserved, checksum
    h.placeable = true;
  }
  const uint16_t type = r.U16();
  const uint16_t header_words = r.U16();
  r.Skip(6);  // version, size in words
  h.objects = r.U16();
  r.Skip(6);  // largest record, unused
  if ((type != 1 && type != 2) || header_words != 9) r.Fail();
  h.records = r.Position();
  return h;
}

// Calls f(function, parameters) for each record up to the end-of-file record or the end of the
// bytes. Every record is at least its 6-byte header, so the loop always advances.
template <typename F>
void ForEachRecord(TByteReader& r, const THeader& h, F&& f) {
  r.Seek(h.records);
  while (!r.AtEnd()) {
    const uint32_t words = r.U32();
    const uint16_t function = r.U16();
    if (words < 3) r.Fail();
    TByteReader params = r.TakeReader(uint64_t{words} * 2 - kRecordHeaderSize);
    if (function == kEof) return;
    if (!f(function, params)) return;
  }
}

TPointD ReadPointYX(TByteReader& p) {
  const double y = p.S16();
  const double x = p.S16();
  return {x, y};
}

// A rectangle stored bottom, right, top, left.
TRectD ReadRectReversed(TByteReader& p) {
  TRectD r;
  r.bottom = p.S16();
  r.right = p.S16();
  r.top = p.S16();
  r.left = p.S16();
  return r;
}

std::vector<TPointD> ReadPoints(TByteReader& p, uint64_t count) {
  if (count > p.Remaining() / 4) p.Fail();
  std::vector<TPointD> points(count);
  for (TPointD& point : points) {
    point.x = p.S16();
    point.y = p.S16();
  }
  return points;
}

std::u16string ReadText(TByteReader& p, uint64_t count) {
  if (count > p.Remaining()) p.Fail();
  std::u16string text;
  text.reserve(count);
  for (uint64_t i = 0; i < count; ++i) text.push_back(Win1252ToUnicode(p.U8()));
  return text;
}

using TObject = TMetaObject;

class TWmfPlayer {
 public:
  TWmfPlayer(TMetafilePlayer& player, uint16_t objects) : player_(player), table_size_(objects) {}

  bool Play(uint16_t function, TByteReader& p);

 private:
  void Create(TObject object);
  // The object at an index of the table (none when the slot is empty); an index outside the
  // table is a malformed file.
  const TObject* Object(uint16_t index, const TByteReader& p) const {
    if (index >= table_size_) p.Fail();
    const auto found = objects_.find(index);
    return found == objects_.end() ? nullptr : &found->second;
  }
  void Delete(uint16_t index, const TByteReader& p) {
    Object(index, p);
    if (objects_.erase(index) != 0) free_.insert(index);
  }
  void Dib(TByteReader& p, const TRectD& target, double sx, double sy, double sw, double sh,
           bool bottom_up_origin);

  TMetafilePlayer& player_;
  // Only the slots in use are kept, so a header claiming a large table costs nothing.
  uint32_t table_size_;
  std::map<uint32_t, TObject> objects_;
  std::set<uint32_t> free_;  // emptied slots below next_
  uint32_t next_ = 0;        // the lowest slot never used
};

// A new object takes the lowest free slot.
void TWmfPlayer::Create(TObject object) {
  uint32_t index = next_;
  if (!free_.empty()) {
    index = *free_.begin();
    free_.erase(free_.begin());
  } else {
    ++next_;
  }
  // Some writers count one object too few; the table grows by at most one slot per record.
  if (index >= table_size_) table_size_ = index + 1;
  objects_[index] = std::move(object);
}

void TWmfPlayer::Dib(TByteReader& p, const TRectD& target, double sx, double sy, double sw,
                     double sh, bool bottom_up_origin) {
  const std::span<const uint8_t> dib = p.Take(p.Remaining());
  const TPicture picture = DecodeMetafileDib(dib, {});
  player_.DrawPicture(
      picture, DibSourceRect(picture, MetafileDibHeight(dib), sx, sy, sw, sh, bottom_up_origin),
      target);
}

bool TWmfPlayer::Play(uint16_t function, TByteReader& p) {
  switch (function) {
    case kSaveDC: player_.SaveDC(); break;
    case kRestoreDC: player_.RestoreDC(p.S16()); break;
    case kSetBkMode: player_.SetBackgroundMode(p.U16()); break;
    case kSetMapMode: player_.SetMapMode(p.U16()); break;
    case kSetPolyFillMode: player_.SetPolyFillMode(p.U16()); break;
    case kSetTextAlign: player_.SetTextAlign(p.U16()); break;
    case kSetBkColor: player_.SetBackgroundColor(p.U32()); break;
    case kSetTextColor: player_.SetTextColor(p.U32()); break;
    case kSetWindowOrg: player_.SetWindowOrg(ReadPointYX(p)); break;
    case kSetWindowExt: player_.SetWindowExt(ReadPointYX(p)); break;
    case kOffsetWindowOrg: player_.OffsetWindowOrg(ReadPointYX(p)); break;
    case kScaleWindowExt: {
      const double y_denom = p.S16();
      const double y_num = p.S16();
      const double x_denom = p.S16();
      const double x_num = p.S16();
      player_.ScaleWindowExt(x_num, x_denom, y_num, y_denom);
      break;
    }
    case kSetViewportOrg:
    case kSetViewportExt:
    case kOffsetViewportOrg:
    case kScaleViewportExt:
      // The viewport is the picture; the device the WMF was made on does not matter here.
      break;
    case kMoveTo: player_.MoveTo(ReadPointYX(p)); break;
    case kLineTo: player_.LineTo(ReadPointYX(p)); break;
    case kPolygon:
    case kPolyline: {
      const int16_t count = p.S16();
      if (count < 0) p.Fail();
      const std::vector<TPointD> points = ReadPoints(p, static_cast<uint64_t>(count));
      if (function == kPolygon) {
        player_.Polygon(points);
      } else {
        player_.Polyline(points);
      }
      break;
    }
    case kPolyPolygon: {
      const uint16_t polygons = p.U16();
      if (polygons > p.Remaining() / 2) p.Fail();
      std::vector<uint16_t> counts(polygons);
      uint64_t total = 0;
      for (uint16_t& count : counts) total += count = p.U16();
      if (total > p.Remaining() / 4) p.Fail();
      std::vector<std::vector<TPointD>> shapes;
      shapes.reserve(polygons);
      for (uint16_t count : counts) shapes.push_back(ReadPoints(p, count));
      player_.PolyPolygon(shapes);
      break;
    }
    case kRectangle: player_.Rectangle(ReadRectReversed(p)); break;
    case kEllipse: player_.Ellipse(ReadRectReversed(p)); break;
    case kRoundRect: {
      const double height = p.S16();
      const double width = p.S16();
      player_.RoundRect(ReadRectReversed(p), width, height);
      break;
    }
    case kArc:
    case kPie:
    case kChord: {
      const TPointD end = ReadPointYX(p);
      const TPointD start = ReadPointYX(p);
      const TRectD box = ReadRectReversed(p);
      const TArcKind kind = function == kArc   ? TArcKind::kArc
                            : function == kPie ? TArcKind::kPie
                                               : TArcKind::kChord;
      player_.Arc(kind, box, start, end);
      break;
    }
    case kSetPixel: {
      const uint32_t color = p.U32();
      player_.SetPixel(ReadPointYX(p), color);
      break;
    }
    case kTextOut: {
      const int16_t count = p.S16();
      if (count < 0) p.Fail();
      std::u16string text = ReadText(p, static_cast<uint64_t>(count));
      if (count % 2 != 0) p.Skip(1);
      const TPointD origin = ReadPointYX(p);
      player_.Text(origin, std::move(text), 0, nullptr);
      break;
    }
    case kExtTextOut: {
      const TPointD origin = ReadPointYX(p);
      const int16_t count = p.S16();
      const uint16_t options = p.U16();
      if (count < 0) p.Fail();
      std::optional<TRectD> rect;
      // The rectangle is there when the options need it (opaque or clipped).
      if ((options & 6) != 0) {
        TRectD r;
        r.left = p.S16();
        r.top = p.S16();
        r.right = p.S16();
        r.bottom = p.S16();
        rect = r;
      }
      std::u16string text = ReadText(p, static_cast<uint64_t>(count));
      player_.Text(origin, std::move(text), options, rect ? &*rect : nullptr);
      break;
    }
    case kIntersectClipRect: player_.IntersectClipRect(ReadRectReversed(p)); break;
    case kExcludeClipRect: player_.ExcludeClipRect(ReadRectReversed(p)); break;
    case kSelectClipRegion: {
      // Region objects are kept as placeholders; selecting one leaves the clip as it is.
      Object(p.U16(), p);
      break;
    }
    case kCreatePenIndirect: {
      TObject object;
      object.kind = TObject::TKind::kPen;
      object.pen.style = p.U16();
      object.pen.width = p.S16();
      p.S16();  // unused height
      object.pen.color = p.U32();
      object.pen.cosmetic = object.pen.width == 0;
      Create(std::move(object));
      break;
    }
    case kCreateBrushIndirect: {
      TObject object;
      object.kind = TObject::TKind::kBrush;
      const uint16_t style = p.U16();
      const uint32_t color = p.U32();
      const uint16_t hatch = p.U16();
      object.brush = MakeMetaBrush(style, color, hatch);
      Create(std::move(object));
      break;
    }
    case kDibCreatePatternBrush: {
      TObject object;
      object.kind = TObject::TKind::kBrush;
      const uint16_t style = p.U16();
      const uint16_t usage = p.U16();
      if (style == 3 || usage != 0) {
        // A device-dependent bitmap or palette indices: no colours to show; a black brush keeps
        // the shape visible.
        object.brush = MakeMetaBrush(0, 0, 0);
      } else {
        object.brush.style = TMetaBrushStyle::kPattern;
        object.brush.pattern =
            std::make_shared<const TPicture>(DecodeMetafileDib(p.Take(p.Remaining()), {}));
      }
      Create(std::move(object));
      break;
    }
    case kCreateFontIndirect: {
      TObject object;
      object.kind = TObject::TKind::kFont;
      TLogFont& font = object.font;
      font.height = p.S16();
      p.S16();  // width
      font.escapement = p.S16();
      p.S16();  // orientation
      font.weight = p.S16();
      font.italic = p.U8() != 0;
      font.underline = p.U8() != 0;
      font.strikeout = p.U8() != 0;
      p.Skip(5);  // character set, precisions, quality, pitch and family
      std::string face;
      while (!p.AtEnd() && face.size() < 32) {
        const uint8_t c = p.U8();
        if (c == 0) break;
        face.push_back(static_cast<char>(c));
      }
      font.face = Win1252ToUtf8(face);
      Create(std::move(object));
      break;
    }
    case kCreatePalette:
    case kCreatePatternBrush:
    case kCreateRegion:
      Create(TObject{});  // takes its slot in the table; not drawn with
      break;
    case kSelectObject: {
      const TObject* object = Object(p.U16(), p);
      if (object == nullptr) break;
      switch (object->kind) {
        case TObject::TKind::kPen: player_.SelectPen(object->pen); break;
        case TObject::TKind::kBrush: player_.SelectBrush(object->brush); break;
        case TObject::TKind::kFont: player_.SelectFont(object->font); break;
        case TObject::TKind::kOther: break;
      }
      break;
    }
    case kSelectPalette: Object(p.U16(), p); break;
    case kDeleteObject: Delete(p.U16(), p); break;
    case kPatBlt: {
      const uint32_t rop = p.U32();
      const double height = p.S16();
      const double width = p.S16();
      const TPointD at = ReadPointYX(p);
      player_.PatBlt({at.x, at.y, at.x + width, at.y + height}, rop);
      break;
    }
    case kDibBitBlt: {
      const uint32_t rop = p.U32();
      // Without a bitmap the record has one more reserved word and is a pattern blit.
      const bool has_bitmap = p.Size() != 2 * ((kDibBitBlt >> 8) + 3) - kRecordHeaderSize;
      if (!has_bitmap) p.Skip(2);
      const double sy = p.S16();
      const double sx = p.S16();
      const double height = p.S16();
      const double width = p.S16();
      const TPointD at = ReadPointYX(p);
      const TRectD target{at.x, at.y, at.x + width, at.y + height};
      if (has_bitmap) {
        Dib(p, target, sx, sy, width, height, false);
      } else {
        player_.PatBlt(target, rop);
      }
      break;
    }
    case kDibStretchBlt: {
      const uint32_t rop = p.U32();
      const bool has_bitmap = p.Size() != 2 * ((kDibStretchBlt >> 8) + 3) - kRecordHeaderSize;
      if (!has_bitmap) p.Skip(2);
      const double sh = p.S16();
      const double sw = p.S16();
      const double sy = p.S16();
      const double sx = p.S16();
      const double height = p.S16();
      const double width = p.S16();
      const TPointD at = ReadPointYX(p);
      const TRectD target{at.x, at.y, at.x + width, at.y + height};
      if (has_bitmap) {
        Dib(p, target, sx, sy, sw, sh, false);
      } else {
        player_.PatBlt(target, rop);
      }
      break;
    }
    case kStretchDib: {
      p.U32();  // raster operation: every source operation is drawn as a copy
      const uint16_t usage = p.U16();
      const double sh = p.S16();
      const double sw = p.S16();
      const double sy = p.S16();
      const double sx = p.S16();
      const double height = p.S16();
      const double width = p.S16();
      const TPointD at = ReadPointYX(p);
      if (usage == 0) Dib(p, {at.x, at.y, at.x + width, at.y + height}, sx, sy, sw, sh, true);
      break;
    }
    case kSetDibToDev: {
      const uint16_t usage = p.U16();
      p.Skip(4);  // scan count, first scan: the DIB holds the rows drawn
      const double sy = p.S16();
      const double sx = p.S16();
      const double height = p.S16();
      const double width = p.S16();
      const TPointD at = ReadPointYX(p);
      if (usage == 0)
        Dib(p, {at.x, at.y, at.x + width, at.y + height}, sx, sy, width, height, true);
      break;
    }
    default: break;  // escapes, palettes, regions, raster modes and unknown records
  }
  return true;
}

}  // namespace

bool LooksLikeWMF(std::span<const uint8_t> file) {
  const TByteReader r(file, kUnrecognizedMetafile);
  if (!r.Contains(0, 4)) return false;
  // The placeable key, or a plain header: type 1 or 2, then its size of 9 words.
  return r.U32At(0) == kPlaceableKey ||
         ((r.U16At(0) == 1 || r.U16At(0) == 2) && r.U16At(2) == kHeaderSize / 2);
}

TMetafileSize WMFSize(std::span<const uint8_t> file) {
  TByteReader r(file, kUnrecognizedMetafile);
  const THeader h = ReadHeader(r);
  if (h.placeable) {
    if (h.inch == 0) r.Fail();
    // Round half away from zero, as the platform's MulDiv does.
    const auto pixels = [&](int32_t units) {
      const double exact = static_cast<double>(units) * 96 / h.inch;
      return static_cast<int64_t>(std::lround(exact));
    };
    return {pixels(h.right - h.left), pixels(h.bottom - h.top)};
  }
  std::optional<TMetafileSize> size;
  ForEachRecord(r, h, [&](uint16_t function, TByteReader& p) {
    if (function != kSetWindowExt) return true;
    const TPointD extent = ReadPointYX(p);
    size = TMetafileSize{static_cast<int64_t>(std::fabs(extent.x)),
                         static_cast<int64_t>(std::fabs(extent.y))};
    return false;
  });
  if (!size) r.Fail();
  return *size;
}

void PlayWMF(std::span<const uint8_t> file, TMetafileCanvas& canvas) {
  TByteReader r(file, kUnrecognizedMetafile);
  const THeader h = ReadHeader(r);
  const TMetafileSize size = WMFSize(file);
  TPlayback playback;
  playback.wmf = true;
  playback.viewport_ext = {static_cast<double>(size.width), static_cast<double>(size.height)};
  playback.picture = size;
  TMetafilePlayer player(canvas, playback);
  if (h.placeable) {
    player.SetWindowOrg({static_cast<double>(h.left), static_cast<double>(h.top)});
    player.SetWindowExt(
        {static_cast<double>(h.right - h.left), static_cast<double>(h.bottom - h.top)});
  } else {
    player.SetWindowExt({static_cast<double>(size.width), static_cast<double>(size.height)});
  }
  TWmfPlayer wmf(player, h.objects);
  ForEachRecord(r, h, [&](uint16_t function, TByteReader& p) { return wmf.Play(function, p); });
}

}  // namespace sk
