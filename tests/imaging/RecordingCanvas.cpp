// The text form of each canvas call.
#include "tests/imaging/RecordingCanvas.h"

#include <cmath>
#include <cstdio>

namespace sk::test {

namespace {

std::string Num(double value) {
  double rounded = std::round(value * 100) / 100;
  if (rounded == 0) rounded = 0;  // no "-0"
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.2f", rounded);
  std::string text = buffer;
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  return text;
}

std::string Point(TPointD p) {
  return Num(p.x) + "," + Num(p.y);
}

std::string Utf8(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | c >> 6));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xE0 | c >> 12));
      out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

}  // namespace

std::string DescribeColor(uint32_t color) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "#%02x%02x%02x", color & 0xFF, color >> 8 & 0xFF,
                color >> 16 & 0xFF);
  return buffer;
}

std::string DescribePath(const TMetaPath& path) {
  std::string out;
  size_t i = 0;
  const std::vector<TPointD>& p = path.Points();
  for (TMetaPath::TOp op : path.Ops()) {
    if (!out.empty()) out += ' ';
    switch (op) {
      case TMetaPath::TOp::kMove: out += "M" + Point(p[i++]); break;
      case TMetaPath::TOp::kLine: out += "L" + Point(p[i++]); break;
      case TMetaPath::TOp::kCubic:
        out += "C" + Point(p[i]) + " " + Point(p[i + 1]) + " " + Point(p[i + 2]);
        i += 3;
        break;
      case TMetaPath::TOp::kClose: out += "Z"; break;
    }
  }
  return out;
}

void TRecordingCanvas::SetPen(const TMetaPen& pen) {
  static const char* const kStyles[] = {"solid", "dash", "dot", "dashdot", "dashdotdot", "null"};
  calls_.push_back("pen " + std::string(kStyles[static_cast<int>(pen.style)]) + " " +
                   Num(pen.width) + " " + DescribeColor(pen.color));
}

void TRecordingCanvas::SetBrush(const TMetaBrush& brush) {
  switch (brush.style) {
    case TMetaBrushStyle::kSolid:
      calls_.push_back("brush solid " + DescribeColor(brush.color));
      break;
    case TMetaBrushStyle::kNull: calls_.push_back("brush null"); break;
    case TMetaBrushStyle::kHatched:
      calls_.push_back("brush hatch " + std::to_string(brush.hatch) + " " +
                       DescribeColor(brush.color));
      break;
    case TMetaBrushStyle::kPattern:
      calls_.push_back("brush pattern " + (brush.pattern
                                               ? std::to_string(brush.pattern->Width()) + "x" +
                                                     std::to_string(brush.pattern->Height())
                                               : std::string("none")));
      break;
  }
}

void TRecordingCanvas::SetFont(const TMetaFont& font) {
  calls_.push_back("font '" + font.face + "' " + Num(font.height) + " " + Num(font.angle) + " " +
                   std::to_string(font.weight) + (font.italic ? " italic" : "") +
                   (font.underline ? " underline" : "") + (font.strikeout ? " strikeout" : ""));
}

void TRecordingCanvas::SetTextColor(uint32_t color) {
  calls_.push_back("textcolor " + DescribeColor(color));
}

void TRecordingCanvas::SetBackgroundColor(uint32_t color) {
  calls_.push_back("bkcolor " + DescribeColor(color));
}

void TRecordingCanvas::SetBackgroundMode(bool opaque) {
  calls_.push_back(opaque ? "bkmode opaque" : "bkmode transparent");
}

void TRecordingCanvas::SetFillRule(TMetaFillRule rule) {
  calls_.push_back(rule == TMetaFillRule::kWinding ? "fillrule winding" : "fillrule alternate");
}

void TRecordingCanvas::DrawPath(const TMetaPath& path, bool fill, bool stroke) {
  calls_.push_back(std::string(fill && stroke ? "fillstroke "
                               : fill         ? "fill "
                                              : "stroke ") +
                   DescribePath(path));
}

void TRecordingCanvas::DrawText(const TMetaText& text) {
  static const char* const kH[] = {"left", "center", "right"};
  static const char* const kV[] = {"top", "baseline", "bottom"};
  std::string line = "text '" + Utf8(text.text) + "' at " + Point(text.origin) + " " +
                     kH[static_cast<int>(text.h_align)] + " " + kV[static_cast<int>(text.v_align)];
  if (text.opaque) line += " opaque";
  if (text.clipped) line += " clipped";
  if (text.opaque || text.clipped) line += " [" + DescribePath(text.rect) + "]";
  calls_.push_back(line);
}

void TRecordingCanvas::DrawPicture(const TPicture& picture, const TRectD& source,
                                   const TRectD& target) {
  std::string line = "picture " + std::to_string(picture.Width()) + "x" +
                     std::to_string(picture.Height()) + " " + Point({source.left, source.top}) +
                     "-" + Point({source.right, source.bottom}) + " to " +
                     Point({target.left, target.top}) + "-" + Point({target.right, target.bottom});
  // The first row's colours show that the pixels were decoded, and which way up.
  line += " top";
  for (int x = 0; x < picture.Width() && x < 8; ++x) {
    const uint8_t* p = picture.Row(0) + 3 * x;
    line += " " + DescribeColor(static_cast<uint32_t>(p[2]) | p[1] << 8 | p[0] << 16);
  }
  calls_.push_back(line);
}

void TRecordingCanvas::Save() {
  calls_.push_back("save");
}
void TRecordingCanvas::Restore() {
  calls_.push_back("restore");
}
void TRecordingCanvas::IntersectClip(const TMetaPath& area) {
  calls_.push_back("clip and " + DescribePath(area));
}
void TRecordingCanvas::ExcludeClip(const TMetaPath& area) {
  calls_.push_back("clip diff " + DescribePath(area));
}
void TRecordingCanvas::ResetClip() {
  calls_.push_back("clip reset");
}

std::vector<std::string> TRecordingCanvas::CallsStartingWith(const std::string& prefix) const {
  std::vector<std::string> out;
  for (const std::string& call : calls_) {
    if (call.rfind(prefix, 0) == 0) out.push_back(call);
  }
  return out;
}

}  // namespace sk::test
