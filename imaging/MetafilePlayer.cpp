// The device context of metafile playback: coordinate mapping, attributes, saved states, paths,
// clipping, and the DIB decoding shared by both record formats.
#include "imaging/MetafilePlayer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "imaging/BMPReader.h"
#include "imaging/ByteReader.h"
#include "imaging/InvalidGraphic.h"

namespace sk {

namespace {

// Shapes reaching further than this from the picture are not drawn: no real metafile needs them,
// and they would make the canvas work for nothing (dashes along a line a billion pixels long).
constexpr double kMaxCoordinate = 1e7;
constexpr double kMaxPenWidth = 1e5;
constexpr double kMaxFontHeight = 4096;
// Deeper saves than this are not kept (each pop of an unkept level is ignored too).
constexpr size_t kMaxSavedStates = 4096;

constexpr uint32_t kPsStyleMask = 0xF;
constexpr uint32_t kPsNull = 5;
constexpr uint32_t kPsEndCapMask = 0xF00;
constexpr uint32_t kPsJoinMask = 0xF000;

constexpr uint32_t kTaUpdateCp = 1;
constexpr uint32_t kEtoOpaque = 2;
constexpr uint32_t kEtoClipped = 4;

constexpr uint32_t kRgnAnd = 1;
constexpr uint32_t kRgnDiff = 4;
constexpr uint32_t kRgnCopy = 5;

constexpr uint32_t kPatCopy = 0x00F00021;
constexpr uint32_t kBlackness = 0x00000042;
constexpr uint32_t kWhiteness = 0x00FF0062;

bool PathIsSane(const TMetaPath& path) {
  for (const TPointD& p : path.Points()) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || std::fabs(p.x) > kMaxCoordinate ||
        std::fabs(p.y) > kMaxCoordinate) {
      return false;
    }
  }
  return true;
}

double Scale(const TMatrix& m) {
  return std::sqrt(std::fabs(m.m11 * m.m22 - m.m12 * m.m21));
}

}  // namespace

// ---- TMetaPath ----

void TMetaPath::MoveTo(TPointD p) {
  ops_.push_back(TOp::kMove);
  points_.push_back(p);
  open_figure_ = true;
}

void TMetaPath::LineTo(TPointD p) {
  if (!open_figure_) return MoveTo(p);
  ops_.push_back(TOp::kLine);
  points_.push_back(p);
}

void TMetaPath::CubicTo(TPointD c1, TPointD c2, TPointD p) {
  if (!open_figure_) MoveTo(c1);
  ops_.push_back(TOp::kCubic);
  points_.insert(points_.end(), {c1, c2, p});
}

void TMetaPath::Close() {
  if (!open_figure_) return;
  ops_.push_back(TOp::kClose);
  open_figure_ = false;
}

void TMetaPath::Clear() {
  ops_.clear();
  points_.clear();
  open_figure_ = false;
}

void TMetaPath::Append(const TMetaPath& other, bool connect) {
  size_t first = 0;
  size_t first_point = 0;
  if (connect && open_figure_ && !other.ops_.empty() && other.ops_[0] == TOp::kMove) {
    first = 1;
    first_point = 1;
  }
  if (first == 0) open_figure_ = false;
  size_t i = first_point;
  for (size_t k = first; k < other.ops_.size(); ++k) {
    switch (other.ops_[k]) {
      case TOp::kMove: MoveTo(other.points_[i++]); break;
      case TOp::kLine: LineTo(other.points_[i++]); break;
      case TOp::kCubic:
        CubicTo(other.points_[i], other.points_[i + 1], other.points_[i + 2]);
        i += 3;
        break;
      case TOp::kClose: Close(); break;
    }
  }
}

// ---- TMatrix ----

TMatrix TMatrix::Then(const TMatrix& n) const {
  return {m11 * n.m11 + m12 * n.m21,      m11 * n.m12 + m12 * n.m22,
          m21 * n.m11 + m22 * n.m21,      m21 * n.m12 + m22 * n.m22,
          dx * n.m11 + dy * n.m21 + n.dx, dx * n.m12 + dy * n.m22 + n.dy};
}

bool TMatrix::Finite() const {
  return std::isfinite(m11) && std::isfinite(m12) && std::isfinite(m21) && std::isfinite(m22) &&
         std::isfinite(dx) && std::isfinite(dy);
}

// ---- TMetafilePlayer ----

TMetafilePlayer::TMetafilePlayer(TMetafileCanvas& canvas, const TPlayback& playback)
    : canvas_(canvas), playback_(playback) {
  if (playback_.wmf) {
    dc_.map_mode = 8;  // a placed WMF's window always maps onto its frame
    dc_.viewport_ext = playback_.viewport_ext;
  }
  UpdateTransform();
}

void TMetafilePlayer::UpdateTransform() {
  // Page space to device space by the mapping mode.
  double sx = 1;
  double sy = 1;
  const double px = playback_.device_pixels_per_mm_x;
  const double py = playback_.device_pixels_per_mm_y;
  switch (dc_.map_mode) {
    case 2: sx = px / 10, sy = -py / 10; break;                    // MM_LOMETRIC
    case 3: sx = px / 100, sy = -py / 100; break;                  // MM_HIMETRIC
    case 4: sx = px * 0.254, sy = -py * 0.254; break;              // MM_LOENGLISH
    case 5: sx = px * 0.0254, sy = -py * 0.0254; break;            // MM_HIENGLISH
    case 6: sx = px * 25.4 / 1440, sy = -py * 25.4 / 1440; break;  // MM_TWIPS
    case 7:                                                        // MM_ISOTROPIC
    case 8:                                                        // MM_ANISOTROPIC
      sx = dc_.window_ext.x != 0 ? dc_.viewport_ext.x / dc_.window_ext.x : 0;
      sy = dc_.window_ext.y != 0 ? dc_.viewport_ext.y / dc_.window_ext.y : 0;
      if (dc_.map_mode == 7) {
        const double s = std::min(std::fabs(sx), std::fabs(sy));
        sx = std::copysign(s, sx);
        sy = std::copysign(s, sy);
      }
      break;
    default: break;  // MM_TEXT: logical units are device pixels; the origins still apply
  }
  TMatrix page{sx,
               0,
               0,
               sy,
               dc_.viewport_org.x - dc_.window_org.x * sx,
               dc_.viewport_org.y - dc_.window_org.y * sy};
  total_ = dc_.world.Then(page).Then(playback_.device_to_picture);
}

void TMetafilePlayer::SetMapMode(uint32_t mode) {
  if (playback_.wmf || mode < 1 || mode > 8) return;
  dc_.map_mode = mode;
  UpdateTransform();
}

void TMetafilePlayer::SetWindowOrg(TPointD p) {
  dc_.window_org = p;
  UpdateTransform();
}

void TMetafilePlayer::SetWindowExt(TPointD extent) {
  if (extent.x == 0 || extent.y == 0) return;  // GDI refuses a zero extent
  dc_.window_ext = extent;
  UpdateTransform();
}

void TMetafilePlayer::SetViewportOrg(TPointD p) {
  if (playback_.wmf) return;
  dc_.viewport_org = p;
  UpdateTransform();
}

void TMetafilePlayer::SetViewportExt(TPointD extent) {
  if (playback_.wmf || extent.x == 0 || extent.y == 0) return;
  dc_.viewport_ext = extent;
  UpdateTransform();
}

void TMetafilePlayer::OffsetWindowOrg(TPointD delta) {
  SetWindowOrg({dc_.window_org.x + delta.x, dc_.window_org.y + delta.y});
}

void TMetafilePlayer::OffsetViewportOrg(TPointD delta) {
  SetViewportOrg({dc_.viewport_org.x + delta.x, dc_.viewport_org.y + delta.y});
}

void TMetafilePlayer::ScaleWindowExt(double x_num, double x_denom, double y_num, double y_denom) {
  if (x_denom == 0 || y_denom == 0) return;
  SetWindowExt({dc_.window_ext.x * x_num / x_denom, dc_.window_ext.y * y_num / y_denom});
}

void TMetafilePlayer::ScaleViewportExt(double x_num, double x_denom, double y_num, double y_denom) {
  if (x_denom == 0 || y_denom == 0) return;
  SetViewportExt({dc_.viewport_ext.x * x_num / x_denom, dc_.viewport_ext.y * y_num / y_denom});
}

void TMetafilePlayer::SetWorldTransform(const TMatrix& matrix) {
  if (!matrix.Finite()) return;
  dc_.world = matrix;
  UpdateTransform();
}

void TMetafilePlayer::ModifyWorldTransform(const TMatrix& matrix, uint32_t mode) {
  switch (mode) {
    case 1: dc_.world = TMatrix{}; break;
    case 2:
      if (!matrix.Finite()) return;
      dc_.world = matrix.Then(dc_.world);
      break;
    case 3:
      if (!matrix.Finite()) return;
      dc_.world = dc_.world.Then(matrix);
      break;
    case 4: return SetWorldTransform(matrix);
    default: return;
  }
  UpdateTransform();
}

void TMetafilePlayer::SelectPen(const TLogPen& pen) {
  dc_.pen = pen;
}
void TMetafilePlayer::SelectBrush(const TMetaBrush& brush) {
  dc_.brush = brush;
}
void TMetafilePlayer::SelectFont(const TLogFont& font) {
  dc_.font = font;
}
void TMetafilePlayer::SetTextColor(uint32_t color) {
  dc_.text_color = color & 0xFFFFFF;
}
void TMetafilePlayer::SetBackgroundColor(uint32_t color) {
  dc_.background_color = color & 0xFFFFFF;
}
void TMetafilePlayer::SetBackgroundMode(uint32_t mode) {
  if (mode == 1 || mode == 2) dc_.opaque_background = mode == 2;
}
void TMetafilePlayer::SetPolyFillMode(uint32_t mode) {
  if (mode == 1 || mode == 2) {
    dc_.fill_rule = mode == 2 ? TMetaFillRule::kWinding : TMetaFillRule::kAlternate;
  }
}
void TMetafilePlayer::SetTextAlign(uint32_t align) {
  dc_.text_align = align;
}
void TMetafilePlayer::SetArcDirection(uint32_t direction) {
  if (direction == 1 || direction == 2) dc_.clockwise = direction == 2;
}

void TMetafilePlayer::SaveDC() {
  if (saved_.size() >= kMaxSavedStates) return;
  saved_.push_back(dc_);
  canvas_.Save();
}

void TMetafilePlayer::RestoreDC(int32_t level) {
  // Negative: that many levels back; positive: the state saved as that level (1 the first).
  const int64_t depth = static_cast<int64_t>(saved_.size());
  const int64_t target = level < 0 ? depth + level : static_cast<int64_t>(level) - 1;
  if (level == 0 || target < 0 || target >= depth) return;
  while (static_cast<int64_t>(saved_.size()) > target) {
    dc_ = std::move(saved_.back());
    saved_.pop_back();
    canvas_.Restore();
  }
  UpdateTransform();
  // The canvas's own restore may have changed what it holds.
  sent_pen_.reset();
  sent_brush_.reset();
  sent_font_.reset();
  sent_text_color_.reset();
  sent_background_color_.reset();
  sent_opaque_.reset();
  sent_fill_rule_.reset();
}

// ---- Sending state to the canvas ----

TMetaPen TMetafilePlayer::DevicePen() const {
  TMetaPen pen;
  const uint32_t style = dc_.pen.style & kPsStyleMask;
  switch (style) {
    case 1: pen.style = TMetaPenStyle::kDash; break;
    case 2: pen.style = TMetaPenStyle::kDot; break;
    case 3: pen.style = TMetaPenStyle::kDashDot; break;
    case 4: pen.style = TMetaPenStyle::kDashDotDot; break;
    case kPsNull: pen.style = TMetaPenStyle::kNull; break;
    default: pen.style = TMetaPenStyle::kSolid; break;  // solid, inside frame, user, alternate
  }
  pen.color = dc_.pen.color & 0xFFFFFF;
  if (!dc_.pen.cosmetic) {
    const double width = std::fabs(dc_.pen.width) * Scale(total_);
    pen.width = std::isfinite(width) ? std::min(width, kMaxPenWidth) : 0;
  }
  switch (dc_.pen.style & kPsEndCapMask) {
    case 0x100: pen.cap = TMetaLineCap::kSquare; break;
    case 0x200: pen.cap = TMetaLineCap::kFlat; break;
    default: pen.cap = TMetaLineCap::kRound; break;
  }
  switch (dc_.pen.style & kPsJoinMask) {
    case 0x1000: pen.join = TMetaLineJoin::kBevel; break;
    case 0x2000: pen.join = TMetaLineJoin::kMiter; break;
    default: pen.join = TMetaLineJoin::kRound; break;
  }
  return pen;
}

TMetaFont TMetafilePlayer::DeviceFont() const {
  TMetaFont font;
  // The height is measured along the logical y axis.
  const double ux = total_.m21;
  const double uy = total_.m22;
  const double height = std::fabs(dc_.font.height) * std::sqrt(ux * ux + uy * uy);
  font.height = std::isfinite(height) ? std::clamp(height, 1.0, kMaxFontHeight) : 1.0;
  if (dc_.font.height == 0) font.height = std::clamp(12 * Scale(total_), 1.0, kMaxFontHeight);
  // Escapement turns the baseline counterclockwise as the reader sees it; a turned world turns
  // the baseline with it.
  // A mapping that only mirrors the axes (y up, say) keeps text upright, as GDI does.
  const bool axis_aligned = total_.m12 == 0 && total_.m21 == 0;
  const double base_angle =
      axis_aligned ? 0 : -std::atan2(total_.m12, total_.m11) * 180 / std::numbers::pi;
  double angle = dc_.font.escapement / 10 + base_angle;
  if (!std::isfinite(angle)) angle = 0;
  font.angle = std::fmod(angle, 360);
  font.weight = dc_.font.weight;
  font.italic = dc_.font.italic;
  font.underline = dc_.font.underline;
  font.strikeout = dc_.font.strikeout;
  font.face = dc_.font.face;
  return font;
}

void TMetafilePlayer::SyncCanvas(bool pen, bool brush, bool font) {
  if (pen) {
    const TMetaPen device = DevicePen();
    if (sent_pen_ != device) canvas_.SetPen(device);
    sent_pen_ = device;
  }
  if (brush && sent_brush_ != dc_.brush) {
    canvas_.SetBrush(dc_.brush);
    sent_brush_ = dc_.brush;
  }
  if (font) {
    const TMetaFont device = DeviceFont();
    if (sent_font_ != device) canvas_.SetFont(device);
    sent_font_ = device;
    if (sent_text_color_ != dc_.text_color) canvas_.SetTextColor(dc_.text_color);
    sent_text_color_ = dc_.text_color;
  }
  if (sent_background_color_ != dc_.background_color) {
    canvas_.SetBackgroundColor(dc_.background_color);
  }
  sent_background_color_ = dc_.background_color;
  if (sent_opaque_ != dc_.opaque_background) canvas_.SetBackgroundMode(dc_.opaque_background);
  sent_opaque_ = dc_.opaque_background;
  if (brush) {
    if (sent_fill_rule_ != dc_.fill_rule) canvas_.SetFillRule(dc_.fill_rule);
    sent_fill_rule_ = dc_.fill_rule;
  }
}

// ---- Work budget ----

void TMetafilePlayer::ChargeBox(double left, double top, double right, double bottom,
                                double points) {
  const double width = static_cast<double>(playback_.picture.width);
  const double height = static_cast<double>(playback_.picture.height);
  const double w = std::min(right, width) - std::max(left, 0.0);
  const double h = std::min(bottom, height) - std::max(top, 0.0);
  // NaN bounds compare false both ways and count nothing beyond the points.
  const double area = w > 0 && h > 0 ? w * h : 0;
  work_ += area + points + 1;
  if (!(work_ <= kMaxMetafileDrawWork)) throw EInvalidGraphic(kUnrecognizedMetafile);
}

void TMetafilePlayer::Charge(const TMetaPath& path, double margin) {
  double left = 0;
  double top = 0;
  double right = 0;
  double bottom = 0;
  bool first = true;
  for (const TPointD& p : path.Points()) {
    left = first ? p.x : std::min(left, p.x);
    top = first ? p.y : std::min(top, p.y);
    right = first ? p.x : std::max(right, p.x);
    bottom = first ? p.y : std::max(bottom, p.y);
    first = false;
  }
  ChargeBox(left - margin, top - margin, right + margin, bottom + margin,
            static_cast<double>(path.Points().size()));
}

void TMetafilePlayer::Emit(const TMetaPath& path, bool fill, bool stroke, bool connect) {
  if (in_path_) {
    path_.Append(path, connect);
    return;
  }
  if (path.Empty() || !PathIsSane(path)) return;
  // A wide pen reaches half its width beyond the outline; antialiasing one pixel more.
  Charge(path, stroke ? DevicePen().width / 2 + 1 : 1);
  SyncCanvas(stroke, fill, false);
  canvas_.DrawPath(path, fill, stroke);
}

// ---- Shapes ----

void TMetafilePlayer::AddRectangle(TMetaPath& path, const TRectD& b) const {
  path.MoveTo(Map({b.left, b.top}));
  path.LineTo(Map({b.right, b.top}));
  path.LineTo(Map({b.right, b.bottom}));
  path.LineTo(Map({b.left, b.bottom}));
  path.Close();
}

// Angles are parameters of the ellipse x = cx + rx cos t, y = cy + ry sin t in logical space.
void TMetafilePlayer::AddEllipticArc(TMetaPath& path, const TRectD& b, double start, double sweep,
                                     bool move_first) const {
  const double cx = (b.left + b.right) / 2;
  const double cy = (b.top + b.bottom) / 2;
  const double rx = std::fabs(b.right - b.left) / 2;
  const double ry = std::fabs(b.bottom - b.top) / 2;
  auto at = [&](double t) { return TPointD{cx + rx * std::cos(t), cy + ry * std::sin(t)}; };
  auto tangent = [&](double t) { return TPointD{-rx * std::sin(t), ry * std::cos(t)}; };
  if (move_first) {
    path.MoveTo(Map(at(start)));
  } else {
    path.LineTo(Map(at(start)));
  }
  if (!std::isfinite(sweep) || !std::isfinite(start)) return;
  const double quarters = std::ceil(std::fabs(sweep) / (std::numbers::pi / 2) - 1e-9);
  const int segments = static_cast<int>(std::clamp(quarters, 1.0, 4.0));
  const double step = sweep / segments;
  const double k = 4.0 / 3.0 * std::tan(step / 4);
  double t = start;
  for (int i = 0; i < segments; ++i) {
    const TPointD p0 = at(t);
    const TPointD p3 = at(t + step);
    const TPointD d0 = tangent(t);
    const TPointD d3 = tangent(t + step);
    path.CubicTo(Map({p0.x + k * d0.x, p0.y + k * d0.y}), Map({p3.x - k * d3.x, p3.y - k * d3.y}),
                 Map(p3));
    t += step;
  }
}

double TMetafilePlayer::ArcAngle(const TRectD& b, TPointD p) const {
  const double cx = (b.left + b.right) / 2;
  const double cy = (b.top + b.bottom) / 2;
  const double rx = std::fabs(b.right - b.left) / 2;
  const double ry = std::fabs(b.bottom - b.top) / 2;
  if (rx == 0 || ry == 0) return 0;
  return std::atan2((p.y - cy) / ry, (p.x - cx) / rx);
}

// The parameter sweep from start to end in the arc direction as it appears on the picture; equal
// angles give a whole turn.
double TMetafilePlayer::ArcSweep(double start, double end) const {
  // With logical y pointing down the picture (a positive determinant), a growing parameter turns
  // clockwise on the picture.
  const bool y_down = (total_.m11 * total_.m22 - total_.m12 * total_.m21) > 0;
  const bool growing = dc_.clockwise == y_down;
  const double turn = 2 * std::numbers::pi;
  double sweep = growing ? end - start : start - end;
  sweep = std::fmod(sweep, turn);
  if (sweep <= 1e-12) sweep += turn;
  return growing ? sweep : -sweep;
}

void TMetafilePlayer::MoveTo(TPointD p) {
  dc_.position = p;
  if (in_path_) path_.MoveTo(Map(p));
}

void TMetafilePlayer::LineTo(TPointD p) {
  TMetaPath path;
  path.MoveTo(Map(dc_.position));
  path.LineTo(Map(p));
  dc_.position = p;
  Emit(path, false, true, true);
}

void TMetafilePlayer::Polyline(std::span<const TPointD> points) {
  if (points.size() < 2) return;
  TMetaPath path;
  for (const TPointD& p : points) path.LineTo(Map(p));
  Emit(path, false, true);
}

void TMetafilePlayer::PolylineTo(std::span<const TPointD> points) {
  if (points.empty()) return;
  TMetaPath path;
  path.MoveTo(Map(dc_.position));
  for (const TPointD& p : points) path.LineTo(Map(p));
  dc_.position = points.back();
  Emit(path, false, true, true);
}

void TMetafilePlayer::PolyBezier(std::span<const TPointD> points) {
  if (points.size() < 4) return;
  TMetaPath path;
  path.MoveTo(Map(points[0]));
  for (size_t i = 1; i + 2 < points.size(); i += 3) {
    path.CubicTo(Map(points[i]), Map(points[i + 1]), Map(points[i + 2]));
  }
  Emit(path, false, true);
}

void TMetafilePlayer::PolyBezierTo(std::span<const TPointD> points) {
  if (points.size() < 3) return;
  TMetaPath path;
  path.MoveTo(Map(dc_.position));
  size_t i = 0;
  for (; i + 2 < points.size(); i += 3) {
    path.CubicTo(Map(points[i]), Map(points[i + 1]), Map(points[i + 2]));
  }
  dc_.position = points[i - 1];
  Emit(path, false, true, true);
}

void TMetafilePlayer::Polygon(std::span<const TPointD> points) {
  if (points.size() < 2) return;
  TMetaPath path;
  for (const TPointD& p : points) path.LineTo(Map(p));
  path.Close();
  Emit(path, true, true);
}

void TMetafilePlayer::PolyPolygon(const std::vector<std::vector<TPointD>>& polygons) {
  TMetaPath path;
  for (const std::vector<TPointD>& polygon : polygons) {
    if (polygon.size() < 2) continue;
    path.MoveTo(Map(polygon[0]));
    for (size_t i = 1; i < polygon.size(); ++i) path.LineTo(Map(polygon[i]));
    path.Close();
  }
  Emit(path, true, true);
}

void TMetafilePlayer::PolyPolyline(const std::vector<std::vector<TPointD>>& polylines) {
  TMetaPath path;
  for (const std::vector<TPointD>& line : polylines) {
    if (line.size() < 2) continue;
    path.MoveTo(Map(line[0]));
    for (size_t i = 1; i < line.size(); ++i) path.LineTo(Map(line[i]));
  }
  Emit(path, false, true);
}

void TMetafilePlayer::Rectangle(const TRectD& box) {
  TMetaPath path;
  AddRectangle(path, box);
  Emit(path, true, true);
}

void TMetafilePlayer::RoundRect(const TRectD& b, double corner_width, double corner_height) {
  const double left = std::min(b.left, b.right);
  const double right = std::max(b.left, b.right);
  const double top = std::min(b.top, b.bottom);
  const double bottom = std::max(b.top, b.bottom);
  const double w = std::min(std::fabs(corner_width), right - left);
  const double h = std::min(std::fabs(corner_height), bottom - top);
  if (w == 0 || h == 0) return Rectangle(b);
  const double pi = std::numbers::pi;
  TMetaPath path;
  // Corner arcs clockwise in logical space (y down): top right, bottom right, bottom left, top
  // left; the lines between them come from LineTo at each arc's start.
  AddEllipticArc(path, {right - w, top, right, top + h}, -pi / 2, pi / 2, true);
  AddEllipticArc(path, {right - w, bottom - h, right, bottom}, 0, pi / 2, false);
  AddEllipticArc(path, {left, bottom - h, left + w, bottom}, pi / 2, pi / 2, false);
  AddEllipticArc(path, {left, top, left + w, top + h}, pi, pi / 2, false);
  path.Close();
  Emit(path, true, true);
}

void TMetafilePlayer::Ellipse(const TRectD& box) {
  TMetaPath path;
  AddEllipticArc(path, box, 0, 2 * std::numbers::pi, true);
  path.Close();
  Emit(path, true, true);
}

void TMetafilePlayer::Arc(TArcKind kind, const TRectD& box, TPointD start, TPointD end) {
  const double a0 = ArcAngle(box, start);
  const double sweep = ArcSweep(a0, ArcAngle(box, end));
  TMetaPath path;
  switch (kind) {
    case TArcKind::kArc: AddEllipticArc(path, box, a0, sweep, true); return Emit(path, false, true);
    case TArcKind::kArcTo: {
      path.MoveTo(Map(dc_.position));
      AddEllipticArc(path, box, a0, sweep, false);
      const double cx = (box.left + box.right) / 2;
      const double cy = (box.top + box.bottom) / 2;
      const double a1 = a0 + sweep;
      dc_.position = {cx + std::fabs(box.right - box.left) / 2 * std::cos(a1),
                      cy + std::fabs(box.bottom - box.top) / 2 * std::sin(a1)};
      return Emit(path, false, true, true);
    }
    case TArcKind::kChord:
      AddEllipticArc(path, box, a0, sweep, true);
      path.Close();
      return Emit(path, true, true);
    case TArcKind::kPie:
      path.MoveTo(Map({(box.left + box.right) / 2, (box.top + box.bottom) / 2}));
      AddEllipticArc(path, box, a0, sweep, false);
      path.Close();
      return Emit(path, true, true);
  }
}

void TMetafilePlayer::AngleArc(TPointD c, double radius, double start_degrees,
                               double sweep_degrees) {
  if (!std::isfinite(start_degrees) || !std::isfinite(sweep_degrees)) return;
  const TRectD box{c.x - radius, c.y - radius, c.x + radius, c.y + radius};
  // Angles count counterclockwise from the x axis with y up, so the parameter runs the other way
  // in logical space.
  const double start = -start_degrees * std::numbers::pi / 180;
  const double sweep = -std::clamp(sweep_degrees, -360.0, 360.0) * std::numbers::pi / 180;
  TMetaPath path;
  path.MoveTo(Map(dc_.position));
  AddEllipticArc(path, box, start, sweep, false);
  dc_.position = {c.x + radius * std::cos(start + sweep), c.y + radius * std::sin(start + sweep)};
  Emit(path, false, true, true);
}

void TMetafilePlayer::SetPixel(TPointD p, uint32_t color) {
  if (in_path_) return;
  const TPointD d = Map(p);
  TMetaPath path;
  path.MoveTo({std::floor(d.x), std::floor(d.y)});
  path.LineTo({std::floor(d.x) + 1, std::floor(d.y)});
  path.LineTo({std::floor(d.x) + 1, std::floor(d.y) + 1});
  path.LineTo({std::floor(d.x), std::floor(d.y) + 1});
  path.Close();
  if (!PathIsSane(path)) return;
  Charge(path, 0);
  TMetaBrush brush;
  brush.color = color & 0xFFFFFF;
  if (sent_brush_ != brush) canvas_.SetBrush(brush);
  sent_brush_ = brush;
  canvas_.DrawPath(path, true, false);
}

TMetaPath TMetafilePlayer::DeviceRect(const TRectD& b, const TMatrix& m) const {
  TMetaPath path;
  path.MoveTo(m.Map({b.left, b.top}));
  path.LineTo(m.Map({b.right, b.top}));
  path.LineTo(m.Map({b.right, b.bottom}));
  path.LineTo(m.Map({b.left, b.bottom}));
  path.Close();
  return path;
}

void TMetafilePlayer::Text(TPointD origin, std::u16string text, uint32_t options,
                           const TRectD* rect) {
  if (in_path_) return;
  TMetaText t;
  t.origin = Map((dc_.text_align & kTaUpdateCp) != 0 ? dc_.position : origin);
  t.text = std::move(text);
  switch (dc_.text_align & 6) {
    case 2: t.h_align = TMetaHAlign::kRight; break;
    case 6: t.h_align = TMetaHAlign::kCenter; break;
    default: t.h_align = TMetaHAlign::kLeft; break;
  }
  switch (dc_.text_align & 24) {
    case 8: t.v_align = TMetaVAlign::kBottom; break;
    case 24: t.v_align = TMetaVAlign::kBaseline; break;
    default: t.v_align = TMetaVAlign::kTop; break;
  }
  if (rect != nullptr) {
    t.rect = DeviceRect(*rect, total_);
    t.opaque = (options & kEtoOpaque) != 0;
    t.clipped = (options & kEtoClipped) != 0;
    if (!PathIsSane(t.rect)) return;
  }
  if (!std::isfinite(t.origin.x) || !std::isfinite(t.origin.y) ||
      std::fabs(t.origin.x) > kMaxCoordinate || std::fabs(t.origin.y) > kMaxCoordinate) {
    return;
  }
  // The text stays within its length in em squares of the origin, whichever way it turns.
  const double reach = DeviceFont().height * (static_cast<double>(t.text.size()) + 1);
  ChargeBox(t.origin.x - reach, t.origin.y - reach, t.origin.x + reach, t.origin.y + reach,
            static_cast<double>(t.text.size()));
  if (t.opaque) Charge(t.rect, 1);
  SyncCanvas(false, false, true);
  canvas_.DrawText(t);
}

void TMetafilePlayer::DrawPicture(const TPicture& picture, const TRectD& source,
                                  const TRectD& target) {
  if (in_path_ || picture.Empty()) return;
  const TPointD a = Map({target.left, target.top});
  const TPointD b = Map({target.right, target.bottom});
  TMetaPath check;
  check.MoveTo(a);
  check.LineTo(b);
  if (!PathIsSane(check)) return;
  // Scaling reads the DIB's pixels besides writing the target's.
  ChargeBox(std::min(a.x, b.x) - 1, std::min(a.y, b.y) - 1, std::max(a.x, b.x) + 1,
            std::max(a.y, b.y) + 1,
            static_cast<double>(picture.Width()) * static_cast<double>(picture.Height()));
  SyncCanvas(false, false, false);
  canvas_.DrawPicture(picture, source, {a.x, a.y, b.x, b.y});
}

void TMetafilePlayer::PatBlt(const TRectD& target, uint32_t rop) {
  if (in_path_) return;
  TMetaPath path = DeviceRect(target, total_);
  if (!PathIsSane(path)) return;
  if (rop == kPatCopy) {
    SyncCanvas(false, true, false);
  } else if (rop == kBlackness || rop == kWhiteness) {
    TMetaBrush brush;
    brush.color = rop == kBlackness ? 0 : 0xFFFFFF;
    if (sent_brush_ != brush) canvas_.SetBrush(brush);
    sent_brush_ = brush;
  } else {
    return;
  }
  Charge(path, 1);
  canvas_.DrawPath(path, true, false);
}

// ---- Paths ----

void TMetafilePlayer::BeginPath() {
  in_path_ = true;
  path_.Clear();
}

void TMetafilePlayer::EndPath() {
  in_path_ = false;
}

void TMetafilePlayer::CloseFigure() {
  if (in_path_) path_.Close();
}

void TMetafilePlayer::AbortPath() {
  in_path_ = false;
  path_.Clear();
}

void TMetafilePlayer::FillPath() {
  if (in_path_) return;
  const TMetaPath path = std::move(path_);
  path_.Clear();
  Emit(path, true, false);
}

void TMetafilePlayer::StrokePath() {
  if (in_path_) return;
  const TMetaPath path = std::move(path_);
  path_.Clear();
  Emit(path, false, true);
}

void TMetafilePlayer::StrokeAndFillPath() {
  if (in_path_) return;
  const TMetaPath path = std::move(path_);
  path_.Clear();
  Emit(path, true, true);
}

void TMetafilePlayer::ClipWith(const TMetaPath& area, uint32_t mode) {
  if (!PathIsSane(area)) return;
  Charge(area, 1);
  if (mode == kRgnCopy) canvas_.ResetClip();
  if (mode == kRgnDiff) {
    canvas_.ExcludeClip(area);
  } else {
    canvas_.IntersectClip(area);
  }
}

void TMetafilePlayer::SelectClipPath(uint32_t mode) {
  if (in_path_) return;
  TMetaPath path = std::move(path_);
  path_.Clear();
  ClipWith(path, mode);
}

void TMetafilePlayer::IntersectClipRect(const TRectD& box) {
  ClipWith(DeviceRect(box, total_), kRgnAnd);
}

void TMetafilePlayer::ExcludeClipRect(const TRectD& box) {
  ClipWith(DeviceRect(box, total_), kRgnDiff);
}

void TMetafilePlayer::ResetClip() {
  canvas_.ResetClip();
}

void TMetafilePlayer::SelectClipRegion(const std::vector<TRectD>& device_rects, uint32_t mode) {
  if (device_rects.empty()) {
    if (mode == kRgnCopy) canvas_.ResetClip();
    return;
  }
  TMetaPath area;
  for (const TRectD& r : device_rects) area.Append(DeviceRect(r, playback_.device_to_picture));
  ClipWith(area, mode);
}

// ---- DIBs ----

namespace {

constexpr size_t kBmpFileHeaderSize = 14;

}  // namespace

TPicture DecodeMetafileDib(std::span<const uint8_t> info, std::span<const uint8_t> bits) {
  try {
    const TByteReader header(info, kUnrecognizedMetafile);
    const uint32_t header_size = header.U32At(0);
    if (header_size < 12 || header_size > info.size()) header.Fail();
    int64_t width = 0;
    int64_t height = 0;
    if (header_size == 12) {  // the core header has 16-bit sizes
      width = header.U16At(4);
      height = header.U16At(6);
    } else {
      if (header_size < 16) header.Fail();
      width = static_cast<int32_t>(header.U32At(4));
      height = static_cast<int32_t>(header.U32At(8));
    }
    width = std::llabs(width);
    height = std::llabs(height);
    // Compressed DIBs can claim any size in a few bytes; none in real files expands by more than
    // this much (an RLE8 run gives 255 pixels for 2 bytes).
    const int64_t data = static_cast<int64_t>(info.size() + bits.size());
    const int64_t limit = std::min(kMaxMetafileDibPixels, std::max<int64_t>(1 << 16, 256 * data));
    if (width == 0 || height == 0 || width > limit / height) {
      throw EInvalidGraphic(kUnrecognizedMetafile);
    }
    // A BMP file around the DIB: with separate bits the pixels start right after the info; a
    // packed DIB leaves the offset 0, which the BMP reader takes as "after the colour table".
    std::vector<uint8_t> file(kBmpFileHeaderSize + info.size() + bits.size());
    const uint64_t total = file.size();
    const uint32_t offset =
        bits.empty() ? 0 : static_cast<uint32_t>(kBmpFileHeaderSize + info.size());
    file[0] = 'B';
    file[1] = 'M';
    for (int i = 0; i < 4; ++i) {
      file[2 + i] = static_cast<uint8_t>(total >> (8 * i));
      file[10 + i] = static_cast<uint8_t>(offset >> (8 * i));
    }
    std::memcpy(file.data() + kBmpFileHeaderSize, info.data(), info.size());
    if (!bits.empty()) {
      std::memcpy(file.data() + kBmpFileHeaderSize + info.size(), bits.data(), bits.size());
    }
    return ReadBMP(file);
  } catch (const EInvalidGraphic&) {
    throw EInvalidGraphic(kUnrecognizedMetafile);
  }
}

int32_t MetafileDibHeight(std::span<const uint8_t> info) {
  const TByteReader header(info, kUnrecognizedMetafile);
  if (header.U32At(0) == 12) return header.U16At(6);
  return static_cast<int32_t>(header.U32At(8));
}

TRectD DibSourceRect(const TPicture& picture, int32_t dib_height, double x, double y, double width,
                     double height, bool bottom_up_origin) {
  double top = y;
  if (bottom_up_origin && dib_height > 0) top = picture.Height() - (y + height);
  return {x, top, x + width, top + height};
}

TMetaBrush MakeMetaBrush(uint32_t style, uint32_t color, uint32_t hatch) {
  TMetaBrush brush;
  brush.color = color & 0xFFFFFF;
  switch (style) {
    case 1: brush.style = TMetaBrushStyle::kNull; break;
    case 2:
      brush.style = TMetaBrushStyle::kHatched;
      brush.hatch = hatch <= 5 ? static_cast<int>(hatch) : 0;
      break;
    default: brush.style = TMetaBrushStyle::kSolid; break;
  }
  return brush;
}

}  // namespace sk
