// The busy (hourglass) cursor for the length of a store or picture operation, and the normal
// cursor for the length of a question asked during one. Both nest and are restored on every path,
// also when the operation fails.
#pragma once

#include <QCursor>
#include <QGuiApplication>

namespace sk {

class TBusyCursor {
 public:
  TBusyCursor() { QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
  ~TBusyCursor() { QGuiApplication::restoreOverrideCursor(); }
  TBusyCursor(const TBusyCursor&) = delete;
  TBusyCursor& operator=(const TBusyCursor&) = delete;
};

// The arrow while a modal window asks the user something under a busy cursor.
class TNormalCursor {
 public:
  TNormalCursor() { QGuiApplication::setOverrideCursor(QCursor(Qt::ArrowCursor)); }
  ~TNormalCursor() { QGuiApplication::restoreOverrideCursor(); }
  TNormalCursor(const TNormalCursor&) = delete;
  TNormalCursor& operator=(const TNormalCursor&) = delete;
};

}  // namespace sk
