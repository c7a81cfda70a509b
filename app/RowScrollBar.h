// TRowScrollBar: the key list's vertical scroll bar. A scroll bar paints itself again whenever its
// range, steps or value are set; over 100,000 rows one key or one row more or less leaves the
// slider on the same pixels, so such a change is not painted.
#pragma once

#include <QRect>
#include <QScrollBar>

namespace sk {

class TRowScrollBar : public QScrollBar {
  Q_OBJECT

 public:
  explicit TRowScrollBar(QWidget* parent = nullptr);

 protected:
  void sliderChange(SliderChange change) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  // What a paint of the bar depends on beyond its size and style.
  struct TLook {
    QRect slider;
    bool at_minimum = false;
    bool at_maximum = false;
    bool operator==(const TLook&) const = default;
  };
  TLook Look() const;

  TLook painted_;
};

}  // namespace sk
