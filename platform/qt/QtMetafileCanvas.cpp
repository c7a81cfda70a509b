// QPainter drawing for metafile playback. The picture's rows (blue, green, red, padded to 4
// bytes) are wrapped as a QImage of Format_BGR888, so nothing is copied.
#include "platform/qt/QtMetafileCanvas.h"

#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <algorithm>
#include <cmath>

namespace sk {

namespace {

QColor ColorOf(uint32_t value) {
  return QColor(static_cast<int>(value & 0xFF), static_cast<int>(value >> 8 & 0xFF),
                static_cast<int>(value >> 16 & 0xFF));
}

QImage WrapConst(const TPicture& picture) {
  return QImage(picture.Data(), picture.Width(), picture.Height(),
                static_cast<qsizetype>(picture.RowBytes()), QImage::Format_BGR888);
}

QRectF Rect(const TRectD& r) {
  return QRectF(QPointF(r.left, r.top), QPointF(r.right, r.bottom));
}

class TQtMetafileCanvas final : public TMetafileCanvas {
 public:
  explicit TQtMetafileCanvas(TPicture& picture)
      : image_(picture.Data(), picture.Width(), picture.Height(),
               static_cast<qsizetype>(picture.RowBytes()), QImage::Format_BGR888),
        painter_(&image_) {
    painter_.setRenderHint(QPainter::Antialiasing);
    painter_.setRenderHint(QPainter::TextAntialiasing);
    painter_.setPen(QPen(Qt::black, 0));
    painter_.setBrush(Qt::white);
    painter_.setBackground(Qt::white);
    painter_.setBackgroundMode(Qt::OpaqueMode);
  }

  void SetPen(const TMetaPen& pen) override {
    if (pen.style == TMetaPenStyle::kNull) {
      painter_.setPen(Qt::NoPen);
      return;
    }
    QPen q(ColorOf(pen.color));
    q.setWidthF(pen.width <= 1 ? 0 : pen.width);  // 0: one pixel whatever the scale
    switch (pen.style) {
      case TMetaPenStyle::kDash: q.setStyle(Qt::DashLine); break;
      case TMetaPenStyle::kDot: q.setStyle(Qt::DotLine); break;
      case TMetaPenStyle::kDashDot: q.setStyle(Qt::DashDotLine); break;
      case TMetaPenStyle::kDashDotDot: q.setStyle(Qt::DashDotDotLine); break;
      default: q.setStyle(Qt::SolidLine); break;
    }
    switch (pen.cap) {
      case TMetaLineCap::kRound: q.setCapStyle(Qt::RoundCap); break;
      case TMetaLineCap::kSquare: q.setCapStyle(Qt::SquareCap); break;
      case TMetaLineCap::kFlat: q.setCapStyle(Qt::FlatCap); break;
    }
    switch (pen.join) {
      case TMetaLineJoin::kRound: q.setJoinStyle(Qt::RoundJoin); break;
      case TMetaLineJoin::kBevel: q.setJoinStyle(Qt::BevelJoin); break;
      case TMetaLineJoin::kMiter: q.setJoinStyle(Qt::MiterJoin); break;
    }
    painter_.setPen(q);
  }

  void SetBrush(const TMetaBrush& brush) override {
    switch (brush.style) {
      case TMetaBrushStyle::kNull: painter_.setBrush(Qt::NoBrush); return;
      case TMetaBrushStyle::kSolid: painter_.setBrush(ColorOf(brush.color)); return;
      case TMetaBrushStyle::kHatched: {
        static constexpr Qt::BrushStyle kHatches[] = {Qt::HorPattern,   Qt::VerPattern,
                                                      Qt::FDiagPattern, Qt::BDiagPattern,
                                                      Qt::CrossPattern, Qt::DiagCrossPattern};
        painter_.setBrush(QBrush(ColorOf(brush.color), kHatches[std::clamp(brush.hatch, 0, 5)]));
        return;
      }
      case TMetaBrushStyle::kPattern:
        if (brush.pattern && !brush.pattern->Empty()) {
          painter_.setBrush(QBrush(WrapConst(*brush.pattern).copy()));
        } else {
          painter_.setBrush(Qt::black);
        }
        return;
    }
  }

  void SetFont(const TMetaFont& font) override {
    QFont q(QString::fromStdString(font.face));
    q.setPixelSize(std::max(1, static_cast<int>(std::lround(font.height))));
    q.setWeight(
        static_cast<QFont::Weight>(font.weight <= 0 ? 400 : std::clamp(font.weight, 1, 1000)));
    q.setItalic(font.italic);
    q.setUnderline(font.underline);
    q.setStrikeOut(font.strikeout);
    font_ = q;
    font_angle_ = font.angle;
  }

  void SetTextColor(uint32_t color) override { text_color_ = ColorOf(color); }
  void SetBackgroundColor(uint32_t color) override {
    background_ = ColorOf(color);
    painter_.setBackground(background_);
  }
  void SetBackgroundMode(bool opaque) override {
    opaque_ = opaque;
    painter_.setBackgroundMode(opaque ? Qt::OpaqueMode : Qt::TransparentMode);
  }
  void SetFillRule(TMetaFillRule rule) override {
    fill_rule_ = rule == TMetaFillRule::kWinding ? Qt::WindingFill : Qt::OddEvenFill;
  }

  void DrawPath(const TMetaPath& path, bool fill, bool stroke) override {
    const QPainterPath q = PathOf(path, fill_rule_);
    if (fill && stroke) {
      painter_.drawPath(q);
    } else if (fill) {
      painter_.fillPath(q, painter_.brush());
    } else if (stroke) {
      painter_.strokePath(q, painter_.pen());
    }
  }

  void DrawText(const TMetaText& text) override {
    painter_.save();
    if (text.opaque) painter_.fillPath(PathOf(text.rect, Qt::WindingFill), background_);
    if (text.clipped) ClipTo(PathOf(text.rect, Qt::WindingFill), Qt::IntersectClip);
    const QString string =
        QString::fromUtf16(text.text.data(), static_cast<qsizetype>(text.text.size()));
    painter_.setFont(font_);
    const QFontMetricsF metrics(font_, &image_);
    const double width = metrics.horizontalAdvance(string);
    double x = 0;
    double y = 0;
    if (text.h_align == TMetaHAlign::kCenter) x = -width / 2;
    if (text.h_align == TMetaHAlign::kRight) x = -width;
    if (text.v_align == TMetaVAlign::kTop) y = metrics.ascent();
    if (text.v_align == TMetaVAlign::kBottom) y = -metrics.descent();
    painter_.translate(text.origin.x, text.origin.y);
    painter_.rotate(-font_angle_);
    if (opaque_) {
      painter_.fillRect(
          QRectF(x, y - metrics.ascent(), width, metrics.ascent() + metrics.descent()),
          background_);
    }
    painter_.setPen(text_color_);
    painter_.setBackgroundMode(Qt::TransparentMode);
    painter_.drawText(QPointF(x, y), string);
    painter_.restore();
  }

  void DrawPicture(const TPicture& picture, const TRectD& source, const TRectD& target) override {
    const QImage image = WrapConst(picture);
    const QRectF to = Rect(target).normalized();
    painter_.save();
    QTransform mirror;
    if (target.right < target.left) {
      mirror.translate(to.left() + to.right(), 0);
      mirror.scale(-1, 1);
    }
    if (target.bottom < target.top) {
      mirror.translate(0, to.top() + to.bottom());
      mirror.scale(1, -1);
    }
    painter_.setTransform(mirror, true);
    painter_.drawImage(to, image, Rect(source));
    painter_.restore();
  }

  void Save() override {
    painter_.save();
    ++saved_;
  }
  void Restore() override {
    if (saved_ == 0) return;
    painter_.restore();
    --saved_;
  }

  void IntersectClip(const TMetaPath& area) override {
    ClipTo(PathOf(area, Qt::WindingFill), Qt::IntersectClip);
  }

  void ExcludeClip(const TMetaPath& area) override {
    QPainterPath everything;
    everything.addRect(QRectF(-1e7, -1e7, 2e7, 2e7));
    ClipTo(everything.subtracted(PathOf(area, Qt::WindingFill)), Qt::IntersectClip);
  }

  void ResetClip() override { painter_.setClipping(false); }

 private:
  static QPainterPath PathOf(const TMetaPath& path, Qt::FillRule rule) {
    QPainterPath q;
    q.setFillRule(rule);
    const std::vector<TPointD>& p = path.Points();
    size_t i = 0;
    for (TMetaPath::TOp op : path.Ops()) {
      switch (op) {
        case TMetaPath::TOp::kMove: q.moveTo(p[i].x, p[i].y), ++i; break;
        case TMetaPath::TOp::kLine: q.lineTo(p[i].x, p[i].y), ++i; break;
        case TMetaPath::TOp::kCubic:
          q.cubicTo(p[i].x, p[i].y, p[i + 1].x, p[i + 1].y, p[i + 2].x, p[i + 2].y);
          i += 3;
          break;
        case TMetaPath::TOp::kClose: q.closeSubpath(); break;
      }
    }
    return q;
  }

  void ClipTo(const QPainterPath& path, Qt::ClipOperation operation) {
    painter_.setClipPath(path, painter_.hasClipping() ? operation : Qt::ReplaceClip);
  }

  QImage image_;
  QPainter painter_;
  QFont font_;
  double font_angle_ = 0;
  QColor text_color_ = Qt::black;
  QColor background_ = Qt::white;
  bool opaque_ = true;
  Qt::FillRule fill_rule_ = Qt::OddEvenFill;
  int saved_ = 0;
};

}  // namespace

std::unique_ptr<TMetafileCanvas> MakeQtMetafileCanvas(TPicture& picture) {
  return std::make_unique<TQtMetafileCanvas>(picture);
}

}  // namespace sk
