// TPrompts for tests: every answer is queued before the workflow runs, every question asked is
// recorded, and nothing waits on a modal loop. A question with no answer queued is recorded as
// unexpected and refused (the last button, cancel, the initial text, a rejected dialog).
#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "app/Prompts.h"

namespace sk {

class TScriptedPrompts : public TPrompts {
 public:
  // One question as it was asked.
  struct TAsked {
    enum class Kind { kMessage, kError, kOpenStore, kOpenPictures, kInput, kDialog };
    Kind kind;
    QString text;  // message text; the input box's caption; the dialog's window title
    TMsgDlgType type = TMsgDlgType::kInformation;
    QString prompt;   // the input box's prompt
    QString initial;  // the input box's initial text
    TMsgDlgDefault which_default = TMsgDlgDefault::kFirst;  // a message box's default button
  };
  // Sets up a dialog's controls as the user would and returns its result code.
  using TDialogScript = std::function<int(QDialog&)>;

  // Answers, taken in order by the questions of their kind.
  void QueueButton(TMsgDlgBtn button) { buttons_.push_back(button); }
  // A path chooses it; nothing cancels the dialog.
  void QueueOpenStore(const std::optional<QString>& path) {
    open_store_.push_back({path.has_value(), path.value_or(QString())});
  }
  // Files choose them; an empty list cancels the dialog.
  void QueueOpenPictures(QStringList files) { open_pictures_.push_back(std::move(files)); }
  void QueueInput(QString text) { inputs_.push_back(std::move(text)); }
  // The next input box is cancelled (it gives back its initial text).
  void QueueInputCancel() { inputs_.push_back(std::nullopt); }
  void QueueDialog(TDialogScript script) { dialogs_.push_back(std::move(script)); }

  // Everything asked so far, in order.
  const std::vector<TAsked>& Asked() const { return asked_; }
  // The texts of the message boxes (errors included) shown so far.
  std::vector<QString> Messages() const;
  // The texts of the error boxes shown so far.
  std::vector<QString> Errors() const;
  // Descriptions of the questions that found no answer queued.
  const std::vector<QString>& Unexpected() const { return unexpected_; }
  // True when every queued answer has been used.
  bool AllAnswersUsed() const;
  void ClearRecord();

  TMsgDlgBtn MessageDlg(const QString& text, TMsgDlgType type,
                        std::initializer_list<TMsgDlgBtn> buttons,
                        TMsgDlgDefault which_default = TMsgDlgDefault::kFirst) override;
  void ShowError(const QString& text) override;
  std::optional<QString> OpenStoreFile(const QString& folder = QString()) override;
  QStringList OpenPictureFiles() override;
  QString InputBox(const QString& caption, const QString& prompt, const QString& initial) override;
  int ExecDialog(QDialog& dialog) override;

 private:
  std::deque<TMsgDlgBtn> buttons_;
  std::deque<std::pair<bool, QString>> open_store_;  // chosen, path
  std::deque<QStringList> open_pictures_;
  std::deque<std::optional<QString>> inputs_;
  std::deque<TDialogScript> dialogs_;
  std::vector<TAsked> asked_;
  std::vector<QString> unexpected_;
};

}  // namespace sk
