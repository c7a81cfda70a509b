// TInputGate: while a command runs, the user's input for the main window is dropped, not held.
// The command processes pending events to keep the window painted; a click or key that arrives
// meanwhile must not run once the command has ended, on a picture or a button the user never saw
// in that state. The busy cursor shows for the gate's length, so the user sees why input goes
// unanswered.
#pragma once

#include <QObject>
#include <QPointer>

#include "app/BusyCursor.h"

class QEvent;
class QWidget;

namespace sk {

class TInputGate : public QObject {
 public:
  // window: the main window, whose input (its widgets, its native window, the shortcuts of its
  // actions) is dropped; input for other windows (the questions a command asks, the help window)
  // passes. Gates nest.
  explicit TInputGate(QWidget& window);
  // Delivers what waits in the window system's queue, dropping the main window's input among it,
  // then lets input through again.
  ~TInputGate() override;
  TInputGate(const TInputGate&) = delete;
  TInputGate& operator=(const TInputGate&) = delete;

  // True for the kinds of event that start something (presses of buttons and keys, the wheel,
  // touches, shortcuts, context menus); releases are not among them.
  static bool IsUserInput(const QEvent& event);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool BelongsToWindow(const QObject* object) const;

  QPointer<QWidget> window_;
  TBusyCursor busy_;
};

}  // namespace sk
