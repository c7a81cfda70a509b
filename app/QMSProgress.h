// TQMSProgress: the progress window of long batches. A component the main window owns: while
// shown, a small tool window centred on the owner tells which file the batch works on, what it
// does with it and, optionally, how far it has come, and the owner takes no input. The window
// (TFProgress) exists only while shown.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

class QLabel;
class QProgressBar;

namespace sk {

// The window: three bevelled rows (file name, action, " Progress :" with the gauge) on a tool
// window without a close box; a request to close it from outside is refused.
class TFProgress : public QWidget {
  Q_OBJECT

 public:
  explicit TFProgress(QWidget* owner);

  QLabel& FileRow() const { return *file_row_; }
  QLabel& ActionRow() const { return *action_row_; }
  QWidget& GaugeRow() const { return *gauge_row_; }
  QProgressBar& Gauge() const { return *gauge_; }
  // Shows or hides the gauge row; the window's height stays.
  void SetGaugeRowVisible(bool visible);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QLabel* file_row_;
  QLabel* action_row_;
  QWidget* gauge_row_;
  QProgressBar* gauge_;
};

class TQMSProgress {
 public:
  // owner: the window the progress window is centred on and disables; it must outlive this
  // component. pump: processes pending window messages after every visible change (may be null).
  TQMSProgress(QWidget& owner, std::function<void()> pump);
  ~TQMSProgress();
  TQMSProgress(const TQMSProgress&) = delete;
  TQMSProgress& operator=(const TQMSProgress&) = delete;

  // Gauge bounds, caption and width, applied when the window is shown.
  int Min = 0;
  int Max = 100;
  int Width = 256;
  const QString& Caption() const { return caption_; }
  // Lets the owner move the window before it is shown.
  std::function<void(int& left, int& top)> OnPositionWindow;

  // Not shown: store the value. Shown: change the window (caption, row 1, row 2, the gauge row's
  // visibility) and process pending messages; the property keeps its former value.
  void SetCaption(const QString& text);
  const QString& Filename() const { return filename_; }
  void SetFilename(const QString& text);
  const QString& Action() const { return action_; }
  void SetAction(const QString& text);
  bool Progress() const { return progress_; }
  void SetProgress(bool on);

  // Opens the window (once; a second Show does nothing): width, gauge row and height (81, or 64
  // without the gauge row), gauge bounds and caption from the properties, rows empty, centred on
  // the owner, then OnPositionWindow; the owner is disabled.
  void Show();
  // When shown: enables the owner, destroys the window. Otherwise nothing.
  void Close();
  // When shown: the gauge's position, then pending messages. Otherwise nothing.
  void SetPosition(int position);

  bool Shown() const { return window_ != nullptr; }
  // The window while shown, else null.
  TFProgress* Window() const { return window_.get(); }

 private:
  void Pump() const;

  QWidget& owner_;
  std::function<void()> pump_;
  QString caption_ = QStringLiteral("Progress");
  QString filename_;
  QString action_;
  bool progress_ = false;
  std::unique_ptr<TFProgress> window_;  // a child of the owner while shown
};

}  // namespace sk
