// The progress window and its component.
#include "app/QMSProgress.h"

#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>

namespace sk {

namespace {

// Sizes of the window at its design size, in pixels.
constexpr int kClientHeight = 81;
constexpr int kRowHeight = 17;
constexpr int kRowLeft = 8;
constexpr int kRowWidth = 233;
constexpr int kRowTops[] = {8, 32, 56};
constexpr int kGaugeWidth = 175;
constexpr int kGaugeHeight = 13;

QLabel* Row(QWidget* parent, int top, const QString& text = QString()) {
  auto* row = new QLabel(text, parent);
  row->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  row->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  row->setGeometry(kRowLeft, top, kRowWidth, kRowHeight);
  return row;
}

}  // namespace

TFProgress::TFProgress(QWidget* owner)
    : QWidget(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  file_row_ = Row(this, kRowTops[0]);
  action_row_ = Row(this, kRowTops[1]);
  gauge_row_ = Row(this, kRowTops[2], QStringLiteral(" Progress :"));
  gauge_ = new QProgressBar(gauge_row_);
  gauge_->setGeometry(kRowWidth - kGaugeWidth - 2, (kRowHeight - kGaugeHeight) / 2, kGaugeWidth,
                      kGaugeHeight);
  gauge_->setTextVisible(true);
}

void TFProgress::SetGaugeRowVisible(bool visible) {
  gauge_row_->setVisible(visible);
}

void TFProgress::closeEvent(QCloseEvent* event) {
  // Only the component closes the window.
  event->ignore();
}

TQMSProgress::TQMSProgress(QWidget& owner, std::function<void()> pump)
    : owner_(owner), pump_(std::move(pump)) {}

TQMSProgress::~TQMSProgress() {
  Close();
}

void TQMSProgress::Pump() const {
  if (pump_) pump_();
}

void TQMSProgress::SetCaption(const QString& text) {
  if (!Shown()) {
    caption_ = text;
    return;
  }
  window_->setWindowTitle(text);
  Pump();
}

void TQMSProgress::SetFilename(const QString& text) {
  if (!Shown()) {
    filename_ = text;
    return;
  }
  window_->FileRow().setText(text);
  Pump();
}

void TQMSProgress::SetAction(const QString& text) {
  if (!Shown()) {
    action_ = text;
    return;
  }
  window_->ActionRow().setText(text);
  Pump();
}

void TQMSProgress::SetProgress(bool on) {
  if (!Shown()) {
    progress_ = on;
    return;
  }
  window_->SetGaugeRowVisible(on);
  Pump();
}

void TQMSProgress::Show() {
  if (Shown()) return;
  window_ = std::make_unique<TFProgress>(&owner_);
  const int height = progress_ ? kClientHeight : kClientHeight - kRowHeight;
  window_->setFixedSize(Width, height);
  window_->SetGaugeRowVisible(progress_);
  window_->Gauge().setRange(Min, Max);
  window_->setWindowTitle(caption_);
  const QRect owner = owner_.frameGeometry();
  int left = owner.left() + owner.width() / 2 - Width / 2;
  int top = owner.top() + owner.height() / 2 - height / 2;
  if (OnPositionWindow) OnPositionWindow(left, top);
  window_->move(left, top);
  window_->show();
  owner_.setEnabled(false);
}

void TQMSProgress::Close() {
  if (!Shown()) return;
  owner_.setEnabled(true);
  window_.reset();
}

void TQMSProgress::SetPosition(int position) {
  if (!Shown()) return;
  window_->Gauge().setValue(position);
  Pump();
}

}  // namespace sk
