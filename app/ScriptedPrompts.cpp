// Scripted answers for tests.
#include "app/ScriptedPrompts.h"

#include <QDialog>

namespace sk {

std::vector<QString> TScriptedPrompts::Messages() const {
  std::vector<QString> texts;
  for (const TAsked& asked : asked_) {
    if (asked.kind == TAsked::Kind::kMessage || asked.kind == TAsked::Kind::kError) {
      texts.push_back(asked.text);
    }
  }
  return texts;
}

std::vector<QString> TScriptedPrompts::Errors() const {
  std::vector<QString> texts;
  for (const TAsked& asked : asked_) {
    if (asked.kind == TAsked::Kind::kError) texts.push_back(asked.text);
  }
  return texts;
}

bool TScriptedPrompts::AllAnswersUsed() const {
  return buttons_.empty() && open_store_.empty() && open_pictures_.empty() && inputs_.empty() &&
         dialogs_.empty();
}

void TScriptedPrompts::ClearRecord() {
  asked_.clear();
  unexpected_.clear();
}

TMsgDlgBtn TScriptedPrompts::MessageDlg(const QString& text, TMsgDlgType type,
                                        std::initializer_list<TMsgDlgBtn> buttons,
                                        TMsgDlgDefault which_default) {
  asked_.push_back({TAsked::Kind::kMessage, text, type, {}, {}, which_default});
  const TMsgDlgBtn refuse = buttons.size() == 0 ? TMsgDlgBtn::kOk : *(buttons.end() - 1);
  if (buttons_.empty()) {
    // A box with only "OK" needs no scripted answer: it can only be acknowledged.
    if (buttons.size() != 1) unexpected_.push_back(QStringLiteral("message: ") + text);
    return refuse;
  }
  const TMsgDlgBtn answer = buttons_.front();
  buttons_.pop_front();
  for (TMsgDlgBtn offered : buttons) {
    if (offered == answer) return answer;
  }
  unexpected_.push_back(QStringLiteral("answer not offered by: ") + text);
  return refuse;
}

void TScriptedPrompts::ShowError(const QString& text) {
  asked_.push_back({TAsked::Kind::kError, text, TMsgDlgType::kError, {}, {}});
}

std::optional<QString> TScriptedPrompts::OpenStoreFile(const QString& folder) {
  // The folder the dialog starts in is recorded as the question's initial text.
  asked_.push_back({TAsked::Kind::kOpenStore, QString(), TMsgDlgType::kInformation, {}, folder});
  if (open_store_.empty()) {
    unexpected_.push_back(QStringLiteral("open store dialog"));
    return std::nullopt;
  }
  const auto [chosen, path] = open_store_.front();
  open_store_.pop_front();
  if (!chosen) return std::nullopt;
  return path;
}

QStringList TScriptedPrompts::OpenPictureFiles() {
  asked_.push_back({TAsked::Kind::kOpenPictures, QString(), TMsgDlgType::kInformation, {}, {}});
  if (open_pictures_.empty()) {
    unexpected_.push_back(QStringLiteral("open pictures dialog"));
    return {};
  }
  QStringList files = std::move(open_pictures_.front());
  open_pictures_.pop_front();
  return files;
}

QString TScriptedPrompts::InputBox(const QString& caption, const QString& prompt,
                                   const QString& initial) {
  asked_.push_back({TAsked::Kind::kInput, caption, TMsgDlgType::kInformation, prompt, initial});
  if (inputs_.empty()) {
    unexpected_.push_back(QStringLiteral("input box: ") + caption + QStringLiteral(" / ") + prompt);
    return initial;
  }
  std::optional<QString> answer = std::move(inputs_.front());
  inputs_.pop_front();
  return answer.value_or(initial);
}

int TScriptedPrompts::ExecDialog(QDialog& dialog) {
  asked_.push_back(
      {TAsked::Kind::kDialog, dialog.windowTitle(), TMsgDlgType::kInformation, {}, {}});
  if (dialogs_.empty()) {
    unexpected_.push_back(QStringLiteral("dialog: ") + dialog.windowTitle());
    return QDialog::Rejected;
  }
  TDialogScript script = std::move(dialogs_.front());
  dialogs_.pop_front();
  // Shown without a modal loop, so that the dialog's show handling runs as it would for a user.
  dialog.show();
  const int result = script(dialog);
  dialog.done(result);
  return result;
}

}  // namespace sk
