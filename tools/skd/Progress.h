// The progress line skd draws on standard error during long operations, only when standard error
// is a terminal and --quiet was not given.
#pragma once

#include <string>

#include "store/KES.h"

namespace sk::skd {

// Whether standard error is a terminal; main turns the line off for --quiet.
bool StandardErrorIsTerminal();
void SetProgressShown(bool shown);
bool ProgressShown();

// Draws text as the progress line (replacing the one drawn before), cut to the terminal's width.
// Does nothing when the line is not shown.
void ShowProgress(const std::string& text);
// "what done/total (NN%)" as the progress line.
void ShowCountProgress(const std::string& what, size_t done, size_t total);
// Removes the progress line, if one is drawn, so that other output starts on a clean line.
void ClearProgress();

// The store's progress steps (open, close, flush, pack, reading keys) as the progress line,
// naming file; the line is removed when an operation reports its end.
TProgressEvent StoreProgress(std::string file);

}  // namespace sk::skd
