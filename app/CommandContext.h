// What a menu's workflows work on: the store, the prompts, the picture on screen, the settings and
// the main window's key list and panels (through TStoreView). The main window builds the context
// once and hands it to each menu's command object, so a workflow never reaches into the window.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/Settings.h"
#include "store/KES.h"

namespace sk {

class TImage;
class TPrompts;

// The main window's key list, status panels and picture rule, as the workflows see them.
class TStoreView {
 public:
  virtual ~TStoreView() = default;
  // Refills the key list from the store (GetKeys), keeping no selection.
  virtual void FillKeyList() = 0;
  // Empties the key list.
  virtual void ClearKeyList() = 0;
  // The store gained key, or lost the key it held at row (its position before the delete): the
  // list changes that one row (or refills itself should it no longer match the store).
  virtual void KeyAdded(const std::string& key) = 0;
  virtual void KeyRemoved(int row, const std::string& key) = 0;
  // The store gained keys (in any order) since the list last matched it: the list inserts their
  // rows (or refills itself should it then not match the store).
  virtual void KeysAdded(std::vector<std::string> keys) = 0;
  virtual int KeyCount() const = 0;
  // The key shown at row (0 <= row < KeyCount()).
  virtual std::string KeyAt(int row) const = 0;
  // Selects a row without running MyUpdate; -1 or a row past the end clears the selection.
  virtual void SelectRow(int row) = 0;
  // Selects the entry that shows key; clears the selection when there is none.
  virtual void SelectKey(const std::string& key) = 0;
  // The selected row, or -1.
  virtual int SelectedRow() const = 0;
  // The key of the selected entry, or nothing.
  virtual std::optional<std::string> SelectedKey() const = 0;
  // Shows the picture of the selected key (see TMainForm::MyUpdate).
  virtual void MyUpdate() = 0;
  // True when the picture on screen is the selected key's, read and decoded from the store.
  virtual bool ShowsSelectedPicture() const = 0;
  // The text of the position panel ("No Database", a store's name, "n out of m").
  virtual void ShowPosition(const QString& text) = 0;
  // The size panel: bytes in kilobytes of 1000, rounded down.
  virtual void ShowSize(int64_t bytes) = 0;
  // The view-style panel after the preference changed.
  virtual void ShowViewStyle() = 0;
  // Puts the status gauge back to 0 after a store operation failed on its way.
  virtual void ResetProgress() = 0;
  // True when the store's last question for a password was cancelled.
  virtual bool PasswordCancelled() const = 0;
};

struct TCommandContext {
  TKES& store;
  TPrompts& prompts;
  TImage& picture;  // the picture on screen
  TStoreView& view;
  TSettings& settings;
  TPreferenceValues& preferences;  // the values in force for this run
};

}  // namespace sk
