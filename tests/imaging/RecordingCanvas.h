// A metafile canvas that writes each call it receives as one line of text, so parser tests can
// compare what a file draws without any painter. Numbers are rounded to two decimals.
#pragma once

#include <string>
#include <vector>

#include "imaging/MetafileCanvas.h"

namespace sk::test {

class TRecordingCanvas : public TMetafileCanvas {
 public:
  void SetPen(const TMetaPen& pen) override;
  void SetBrush(const TMetaBrush& brush) override;
  void SetFont(const TMetaFont& font) override;
  void SetTextColor(uint32_t color) override;
  void SetBackgroundColor(uint32_t color) override;
  void SetBackgroundMode(bool opaque) override;
  void SetFillRule(TMetaFillRule rule) override;
  void DrawPath(const TMetaPath& path, bool fill, bool stroke) override;
  void DrawText(const TMetaText& text) override;
  void DrawPicture(const TPicture& picture, const TRectD& source, const TRectD& target) override;
  void Save() override;
  void Restore() override;
  void IntersectClip(const TMetaPath& area) override;
  void ExcludeClip(const TMetaPath& area) override;
  void ResetClip() override;

  // Every call so far, one line each.
  const std::vector<std::string>& Calls() const { return calls_; }
  // Only the lines that start with prefix.
  std::vector<std::string> CallsStartingWith(const std::string& prefix) const;

 private:
  std::vector<std::string> calls_;
};

// "M1,2 L3,4 C5,6 7,8 9,10 Z", points rounded to two decimals.
std::string DescribePath(const TMetaPath& path);
// "#rrggbb" of a colour value (red in the low byte).
std::string DescribeColor(uint32_t color);

}  // namespace sk::test
