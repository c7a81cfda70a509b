// Tests of the user's input while a command runs: clicks and keys that reach the window system's
// queue meanwhile are dropped, never replayed once the command has ended, and the busy cursor
// shows for the command's length.
#include <gtest/gtest.h>
#include <qpa/qwindowsysteminterface.h>

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QLineEdit>
#include <QToolButton>
#include <QWindow>

#include "app/KeyListBox.h"
#include "app/PasswordDlg.h"
#include "tests/app/AppTestSupport.h"

namespace sk::test {
namespace {

// Queues a left click on widget, as the window system delivers one: through its queue, so it
// waits there until events are next processed.
void QueueClick(QWidget& widget) {
  QWindow* window = widget.window()->windowHandle();
  ASSERT_NE(window, nullptr);
  const QPointF local = widget.mapTo(widget.window(), widget.rect().center());
  const QPointF global = widget.mapToGlobal(widget.rect().center());
  QWindowSystemInterface::handleMouseEvent<QWindowSystemInterface::AsynchronousDelivery>(
      window, local, global, Qt::LeftButton, Qt::LeftButton, QEvent::MouseButtonPress);
  QWindowSystemInterface::handleMouseEvent<QWindowSystemInterface::AsynchronousDelivery>(
      window, local, global, Qt::NoButton, Qt::LeftButton, QEvent::MouseButtonRelease);
}

// Queues a press and release of key on window the same way.
void QueueKey(QWindow* window, Qt::Key key) {
  QWindowSystemInterface::handleKeyEvent<QWindowSystemInterface::AsynchronousDelivery>(
      window, QEvent::KeyPress, key, Qt::NoModifier);
  QWindowSystemInterface::handleKeyEvent<QWindowSystemInterface::AsynchronousDelivery>(
      window, QEvent::KeyRelease, key, Qt::NoModifier);
}

// The window system makes window the active one, with the keyboard focus: keys reach its
// shortcuts.
void Activate(QWindow* window) {
  QWindowSystemInterface::handleWindowActivated<QWindowSystemInterface::SynchronousDelivery>(
      window, Qt::ActiveWindowFocusReason);
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  EXPECT_EQ(QGuiApplication::focusWindow(), window);
}

using CommandInputTest = TAppTest;

TEST_F(CommandInputTest, InputQueuedWhileAStoreOpensIsDroppedNotReplayed) {
  const QString path = Path(QStringLiteral("secret.skd"));
  MakeStore(path, {{"one", 8, 8, 0x123456}, {"two", 8, 8, 0x654321}}, "pw");
  TMainForm& form = MakeForm();
  QWindow* window = form.windowHandle();
  ASSERT_NE(window, nullptr);
  bool busy_while_asked = false;
  // While the store asks for its password, the user clicks the delete button (disabled, as no
  // store is open yet) and presses Delete and F2; the store opens with its first key selected.
  prompts_.QueueDialog([&](QDialog& dialog) {
    QueueClick(form.Button(TCommand::kDeleteButton));
    QueueKey(window, Qt::Key_Delete);
    QueueKey(window, Qt::Key_F2);
    const QCursor* cursor = QGuiApplication::overrideCursor();
    busy_while_asked = cursor != nullptr && cursor->shape() == Qt::WaitCursor;
    dynamic_cast<TPasswordDlg&>(dialog).Edit().setText(QStringLiteral("pw"));
    return static_cast<int>(QDialog::Accepted);
  });
  OpenThroughDialog(path);
  ASSERT_TRUE(form.StoreOpen());
  ASSERT_EQ(form.KeyList().currentRow(), 0);
  EXPECT_TRUE(busy_while_asked);
  // Back in the event loop, with the window active, nothing that was queued during the open
  // runs: no delete question, no rename question, both pictures kept.
  Activate(window);
  for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
  EXPECT_TRUE(prompts_.Messages().empty());
  EXPECT_TRUE(prompts_.Unexpected().empty()) << prompts_.Unexpected().front().toStdString();
  EXPECT_EQ(form.KeyList().count(), 2);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  // Input after the command works as ever: the click asks the delete question, the key the
  // rename question.
  prompts_.QueueButton(TMsgDlgBtn::kNo);
  QueueClick(form.Button(TCommand::kDeleteButton));
  QCoreApplication::processEvents();
  ASSERT_EQ(prompts_.Messages().size(), 1u);
  prompts_.QueueInputCancel();
  QueueKey(window, Qt::Key_F2);
  QCoreApplication::processEvents();
  EXPECT_EQ(prompts_.Asked().back().kind, TScriptedPrompts::TAsked::Kind::kInput);
  EXPECT_EQ(form.KeyList().count(), 2);
}

}  // namespace
}  // namespace sk::test
