// Dropping the main window's input while a command runs.
#include "app/InputGate.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>

namespace sk {

TInputGate::TInputGate(QWidget& window) : window_(&window) {
  QCoreApplication::instance()->installEventFilter(this);
}

TInputGate::~TInputGate() {
  // Input that reached the queue while nothing processed events would otherwise run as soon as
  // the event loop takes over again.
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  QCoreApplication::instance()->removeEventFilter(this);
}

bool TInputGate::IsUserInput(const QEvent& event) {
  // Releases pass: nothing acts on a release whose press was dropped, and the widgets that saw
  // the press that started the command must see its release.
  switch (event.type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TabletPress:
    case QEvent::NativeGesture: return true;
    default: return false;
  }
}

bool TInputGate::BelongsToWindow(const QObject* object) const {
  if (window_.isNull() || object == nullptr) return false;
  if (const auto* widget = qobject_cast<const QWidget*>(object)) {
    return widget->window() == window_.data();
  }
  if (const auto* native = qobject_cast<const QWindow*>(object)) {
    return native == window_->windowHandle();
  }
  // A shortcut goes to the action that owns it.
  if (const auto* action = qobject_cast<const QAction*>(object)) {
    return action->parent() == window_.data();
  }
  return false;
}

bool TInputGate::eventFilter(QObject* watched, QEvent* event) {
  if (IsUserInput(*event) && BelongsToWindow(watched)) {
    // A shortcut override that is accepted would turn the key into a plain key press; left
    // unaccepted and eaten here, neither the shortcut nor the key reaches the window.
    event->ignore();
    return true;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace sk
