// The "&Help" menu's workflows and the tool bar's "Info" button: the help contents and the About
// box with the store's version and author lines.
#pragma once

#include <functional>

#include "app/CommandContext.h"

namespace sk {

class TAboutBox;
class THelpWindow;

class THelpCommands {
 public:
  // help: gives the help window, made on first use. The About box belongs to the main window.
  THelpCommands(TCommandContext context, TAboutBox& about_box,
                std::function<THelpWindow&()> help);

  void ShowContents();
  void ShowAbout();

 private:
  TCommandContext context_;
  TAboutBox& about_box_;
  std::function<THelpWindow&()> help_;
};

}  // namespace sk
