// TNewGauge: the status bar's progress gauge, a sunken box filled from the left in proportion to
// Progress between MinValue and MaxValue, with the percentage optionally written over it.
#pragma once

#include <QColor>
#include <QWidget>

namespace sk {

class TNewGauge : public QWidget {
  Q_OBJECT

 public:
  explicit TNewGauge(QWidget* parent = nullptr);

  // The range; MinValue <= MaxValue always holds: a new minimum above the maximum raises the
  // maximum to it, a new maximum below the minimum lowers the minimum. Progress is clamped again.
  int MinValue() const { return min_value_; }
  void SetMinValue(int value);
  int MaxValue() const { return max_value_; }  // 100 by default
  void SetMaxValue(int value);

  // Clamped to [MinValue, MaxValue]; repaints only when the stored value changes.
  int Progress() const { return progress_; }
  void SetProgress(int value);

  bool ShowText() const { return show_text_; }  // on by default
  void SetShowText(bool on);
  QColor ForeColor() const { return fore_color_; }  // navy by default
  void SetForeColor(const QColor& color);
  QColor BackColor() const { return back_color_; }  // white by default
  void SetBackColor(const QColor& color);

  // 100 x (Progress - MinValue) / (MaxValue - MinValue), integer multiply-then-divide; 0 when
  // MinValue = MaxValue.
  int PercentDone() const;

  // The width of the filled part of an inner area inner_width pixels wide:
  // inner_width x (progress - min) / (max - min), integer multiply-then-divide; 0 when min = max.
  static int FillWidth(int inner_width, int progress, int min_value, int max_value);

  // Number of paint requests made by value changes (for tests of "repaints only on change").
  int RepaintRequests() const { return repaint_requests_; }

  QSize sizeHint() const override { return {100, 19}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void Changed();

  int min_value_ = 0;
  int max_value_ = 100;
  int progress_ = 0;
  bool show_text_ = true;
  QColor fore_color_{0, 0, 128};
  QColor back_color_{255, 255, 255};
  int repaint_requests_ = 0;
};

}  // namespace sk
