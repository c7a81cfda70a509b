// Help contents and the About box.
#include "app/HelpCommands.h"

#include <string>
#include <string_view>

#include "app/AboutBox.h"
#include "app/HelpWindow.h"
#include "app/KeyText.h"
#include "app/Messages.h"
#include "app/Prompts.h"

namespace sk {

namespace {

// The lengths the About box keeps of its two runtime lines.
constexpr size_t kVersionLineLength = 14;
constexpr size_t kAuthorLineLength = 48;

}  // namespace

THelpCommands::THelpCommands(TCommandContext context, TAboutBox& about_box,
                             std::function<THelpWindow&()> help)
    : context_(context), about_box_(about_box), help_(std::move(help)) {}

void THelpCommands::ShowContents() {
  help_().ShowContext(kHelpContents);
}

void THelpCommands::ShowAbout() {
  const std::string version = std::string(app_msg::kVersionPrefix) + context_.store.AboutVersion();
  const std::string author = std::string(app_msg::kAuthorPrefix) + context_.store.AboutAuthor();
  about_box_.SetVersionLines(KeyToText(std::string_view(version).substr(0, kVersionLineLength)),
                             KeyToText(std::string_view(author).substr(0, kAuthorLineLength)));
  context_.prompts.ExecDialog(about_box_);
}

}  // namespace sk
