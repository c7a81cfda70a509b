// TMainForm: the program's main window. It owns the store (TKES), the picture component (TImage),
// the key list, the recent-files list and the dialogs; it opens, creates, reopens and closes
// stores, shows the picture of the selected key (MyUpdate), keeps the preferences and asks every
// question through TPrompts. Failures of a command are shown in the standard error box at the
// command's edge; everything below raises.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "app/Help.h"
#include "app/MRUFList.h"
#include "store/KES.h"

class QAction;
class QFrame;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QToolButton;

namespace sk {

class TAboutBox;
class TImage;
class TNameDLG;
class TNewGauge;
class TPasswordDlg;
class TPreferences;
class TPrompts;
class TRegistry;
class TSaveAs;

// Every command of the menus and the tool bar.
enum class TCommand {
  // "&File"
  kOpen,
  kClose,
  kPreferences,
  kExit,
  // "&Image"
  kImageLoad,
  kImageDelete,
  kImageRename,
  kImageSave,
  // "&Batch"
  kBatchAdd,
  kBatchDelete,
  kBatchScan,
  kBatchSave,
  // "&Database"
  kPassword,
  kPack,
  kKill,
  // "&Help"
  kContents,
  kAbout,
  // Tool bar
  kAddButton,
  kDeleteButton,
  kSaveButton,
  kRenameButton,
  kZoomInButton,
  kZoomOutButton,
  kViewStyleButton,
  kInfoButton,
};

enum class TMenuId { kFile, kImage, kBatch, kDatabase, kHelp };

// The colour value of the platform's button face.
inline constexpr uint32_t kButtonFaceColor = 0x8000000F;

class TMainForm : public QMainWindow {
  Q_OBJECT

 public:
  // prompts: asks every question; it must outlive the window. registry_file: the settings
  // registry (TRegistry::DefaultPath() when empty). Builds the window, loads the recent-files list
  // and reads the preferences (FormCreate); failures there are shown in the error box and the
  // defaults are used.
  explicit TMainForm(TPrompts& prompts, QString registry_file = QString(),
                     QWidget* parent = nullptr);
  // Closes the store (writing it back) and saves the recent-files list unless closing the
  // window already did.
  ~TMainForm() override;

  // ---- Handlers. Each shows its failures in the error box and does nothing while another
  // command runs (the store's progress steps process pending events).
  // Reopens the most recent store when the preferences ask for it (runs once, after the window
  // is first shown).
  void FormShow();
  // Asks whether to exit; can_close is the answer.
  void FormCloseQuery(bool& can_close);
  // Fits a picture larger than the view, else shows it at 100 %, whatever the view style.
  void FormResize();
  // Keeps the "Info" button 48 pixels from the tool bar's right edge.
  void Panel3Resize();
  void KeyListClick();
  // Open or create a store through the open dialog.
  void Open1Click();
  void Close1Click();
  void Exit1Click();
  // A recent-files entry was chosen (the list has already taken it out). The list is saved at
  // once, as it is after an open, so that it survives a run that does not end normally.
  void MRUMRUItemClick(const QString& file_name);
  void Preferences1Click();
  void Contents1Click();
  // Add one picture file under a name made unique by growing it, stored as a framed JPEG at
  // min(Quality, 90).
  void SpeedButton2Click();
  // Delete the selected picture after confirmation; the same index (or the new last) is selected.
  void SpeedButton3Click();
  // Rename the selected picture, re-encoding the shown picture at quality 100. When the store
  // refuses the new name, the picture goes back under its old name.
  void SpeedButton6Click();
  // Save the selected picture to disk as JPEG, BMP or GIF through the save dialog; a failure is
  // shown.
  void SAvePicClick();
  // The About box with the store's version and author lines.
  void SpeedButton1Click();
  void About1Click();
  // Zoom in (scroll bars on, +10 %), zoom out (-10 %), and switch the view style for this run.
  void SpeedButton4Click();
  void SpeedButton5Click();
  void SpeedButton7Click();

  // Shows the picture of the selected key with the view rule, and its position and size in the
  // status bar; with no selection, clears the picture and shows "0 kb". Raises what the store
  // and the decoder raise (a picture that cannot be decoded is cleared first).
  void MyUpdate();

  // ---- Registry helpers: each uses its own registry object on the window's registry file.
  // Opens key_path (creating it); false when it cannot be opened or created.
  static bool SetupKey(TRegistry& registry, const QString& key_path);
  // The value when the key opens and the value exists, else the default. A value of the other
  // type raises ERegistryException ("Invalid data type for '%s'").
  bool ReadBoolReg(const QString& key_path, const QString& name, bool default_value) const;
  QString ReadStringReg(const QString& key_path, const QString& name,
                        const QString& default_value) const;
  // Write the value (a Boolean as the 32-bit integer 1 or 0); raise ERegistryException when the
  // registry cannot be written.
  void WriteBoolReg(const QString& key_path, const QString& name, bool value) const;
  void WriteStringReg(const QString& key_path, const QString& name, const QString& value) const;

  // ---- State.
  TKES& KES() { return kes_; }
  TImage& Image() const { return *image_; }
  QListWidget& KeyList() const { return *key_list_; }
  TNewGauge& Gauge() const { return *gauge_; }
  TMRUFileList& MRU() { return *mru_; }
  TPreferences& Preferences() const { return *preferences_; }
  TPasswordDlg& PasswordDlg() const { return *password_dlg_; }
  TAboutBox& AboutBox() const { return *about_box_; }
  TSaveAs& SaveAs() const { return *save_as_; }
  TNameDLG& NameDlg() const { return *name_dlg_; }
  // The help window, or null before help was first shown.
  THelpWindow* HelpWindow() const { return help_.data(); }
  QFrame& ToolBar() const { return *panel3_; }
  QLabel& PositionPanel() const { return *position_panel_; }
  QLabel& SizePanel() const { return *size_panel_; }
  QLabel& ViewStylePanel() const { return *view_style_panel_; }
  QAction& Action(TCommand command) const { return *actions_.at(command); }
  QToolButton& Button(TCommand command) const { return *buttons_.at(command); }
  QMenu& Menu(TMenuId menu) const { return *menus_.at(menu); }
  // Whether the command has a handler in this version (the others are shown disabled).
  bool Available(TCommand command) const { return handlers_.count(command) != 0; }
  bool StoreOpen() const { return !kes_.FileName().empty(); }
  int Quality() const { return quality_; }
  int ViewStyle() const { return view_style_; }
  bool AutoStart() const { return auto_start_; }
  const QString& RegistryFile() const { return registry_file_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Building the window (Main.cpp).
  void CreateActions();
  QAction* MakeAction(TCommand command, const char* text, const QKeySequence& shortcut,
                      std::function<void()> handler);
  void CreateMenus();
  void CreateToolBar();
  void CreateStatusBar();
  void SetUpStore();
  void SetUpImage();
  // Enables every command by availability and store state; the one place that does.
  void UpdateActions();
  void FormCreate();
  int ReadIntPreference(const char* name, int default_value, int min_value, int max_value);

  // Runs body as a command: not while another runs, with its failures shown in the error box.
  void Guarded(const std::function<void()>& body);
  void ShowFailure(const std::exception& error);

  // Store events.
  void KESFileAssigned();
  void KESDemandPassword(TPassword& password);
  void KESNavigate();
  void KESProgressUpdate(TPercentage percent);

  // Workflow steps.
  // FileName := '' (telling the user when the store had to be written under another name),
  // Password := '', key list and picture cleared.
  void ResetStore();
  void CloseStore();
  // Opens file_name, shows the first key, returns with the key list filled.
  void LoadStore(const QString& file_name);
  void FillKeyList();
  void SelectRow(int row);
  // Selects the entry that shows key; clears the selection when there is none.
  void SelectKey(const std::string& key);
  QListWidgetItem* SelectedItem() const;
  void ApplyViewRule(bool fit_style);
  void ShowViewStyle();
  void SetSizeText(int64_t bytes);
  QString StoreFileName() const;
  THelpWindow& Help();
  // What closing the window does once the user agreed: closes the store and saves the
  // recent-files list. False when the user chose to keep the window open.
  bool ShutDown();

  TPrompts& prompts_;
  QString registry_file_;
  TKES kes_;

  TImage* image_ = nullptr;
  QListWidget* key_list_ = nullptr;
  QFrame* panel3_ = nullptr;
  QWidget* status_bar_ = nullptr;
  QLabel* position_panel_ = nullptr;
  QLabel* item_size_label_ = nullptr;
  QLabel* size_panel_ = nullptr;
  QLabel* view_style_panel_ = nullptr;
  TNewGauge* gauge_ = nullptr;
  TAboutBox* about_box_ = nullptr;
  TPasswordDlg* password_dlg_ = nullptr;
  TSaveAs* save_as_ = nullptr;
  TPreferences* preferences_ = nullptr;
  TNameDLG* name_dlg_ = nullptr;
  QPointer<THelpWindow> help_;
  QAction* reopen_place_holder_ = nullptr;

  std::map<TCommand, QAction*> actions_;
  std::map<TCommand, std::function<void()>> handlers_;
  std::map<TCommand, QToolButton*> buttons_;
  std::map<TMenuId, QMenu*> menus_;

  std::unique_ptr<TMRUFileList> mru_;  // made once the "&File" menu exists

  int quality_ = 75;
  int view_style_ = 0;
  bool auto_start_ = false;
  bool running_ = false;     // a command is running
  bool form_shown_ = false;  // FormShow has been queued
  bool shut_down_ = false;   // the store was closed and the list saved by closing the window
};

}  // namespace sk
