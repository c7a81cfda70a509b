// The program's help: one HTML document built into the program, shown in a help window that
// scrolls to the topic of a help context number.
#pragma once

#include <QPointer>
#include <QUrl>
#include <QWidget>

class QTextBrowser;

namespace sk {

// Help contexts: the contents, the save dialog's topic and the preferences dialog's topic.
inline constexpr int kHelpContents = 1;
inline constexpr int kHelpSaveAs = 21;
inline constexpr int kHelpPreferences = 23;

// The address of a help context's topic: the help document with the anchor "context-<n>".
QUrl HelpTopicUrl(int context);

class THelpWindow : public QWidget {
  Q_OBJECT

 public:
  // A window of its own, owned by parent (or, while shown over a modal dialog, by that dialog,
  // which the program keeps for its whole run).
  explicit THelpWindow(QWidget* parent = nullptr);

  // Shows the window at the topic of context and brings it to the front. While a modal dialog
  // is open the window is placed over that dialog, so that it can be read and closed.
  void ShowContext(int context);

  QTextBrowser& Browser() const { return *browser_; }

 private:
  QTextBrowser* browser_;
  QPointer<QWidget> home_;  // the window that owns this one when no modal dialog is open
};

}  // namespace sk
