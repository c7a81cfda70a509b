// TMainForm: the program's main window. It lays out the tool bar, the key list, the picture and
// the status bar, holds the action table and enables the commands in one place, shows the picture
// of the selected key (MyUpdate) with the view rule, and answers the store's events. Each menu's
// workflows live in a command object of their own (TFileCommands, TPictureCommands,
// THelpCommands) that works on the window through TCommandContext; the window runs them as
// guarded commands, whose failures are shown in the standard error box.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "app/CommandContext.h"
#include "app/HelpWindow.h"
#include "app/MRUFileList.h"
#include "app/Settings.h"
#include "store/KES.h"

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QSplitter;
class QToolButton;

namespace sk {

class TAboutBox;
class TBatchAction;
class TBatchCommands;
class TDatabaseCommands;
class TFileCommands;
class TFileManagerRequests;
class THelpCommands;
class TImage;
class TKeyListBox;
class TNameDLG;
class TNewGauge;
class TPasswordDlg;
class TPictureCommands;
class TPreferences;
class TPrompts;
class TQMSProgress;
class TSaveAs;
class TScanUnit;
class TShellIntegration;

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

// The anchor of the help document's topic that describes the command ("" for the tool-bar
// buttons, which their menu commands' topics describe).
QString HelpAnchor(TCommand command);

// True for the names of store files (".skd", ".kes", in any case).
bool IsStoreFileName(const QString& file_name);

class TMainForm : public QMainWindow, private TStoreView {
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

  // ---- Window events.
  // Reopens the most recent store when the preferences ask for it (runs once, after the window
  // is first shown).
  void FormShow();
  // Asks whether to exit; can_close is the answer.
  void FormCloseQuery(bool& can_close);
  // Fits a picture larger than the view, else shows it at 100 %, whatever the view style.
  void FormResize();

  // ---- Commands. Each runs guarded: its failures are shown in the error box, and it does
  // nothing while another command runs (the store's progress steps process pending events).
  // "&File" (see TFileCommands).
  void OpenStore();
  void OpenRecent(const QString& file_name);
  void CloseCurrentStore();
  void EditPreferences();
  void Exit();
  // "&Image" and its tool-bar buttons (see TPictureCommands).
  void AddPicture();
  void DeletePicture();
  void RenamePicture();
  void SavePicture();
  // "&Batch" (see TBatchCommands).
  void AddPictures();
  void DeletePictures();
  void SavePictures();
  void AddScannedPictures();
  // "&Database" (see TDatabaseCommands).
  void ChangePassword();
  void Pack();
  void Kill();
  // "&Help" and the "Info" button (see THelpCommands).
  void ShowHelpContents();
  void ShowAbout();
  // The view's tool-bar buttons: zoom in (scroll bars on, +10 %), zoom out (-10 %), and switch
  // the view style for this run.
  void ZoomIn();
  void ZoomOut();
  void ToggleViewStyle();

  // Ends the program as a normal exit does, without asking (a termination signal asked for it):
  // closes the store, writing it back, saves the recent-files list and quits the event loop. A
  // store that cannot be written back keeps its working files, so nothing is lost. While a command
  // runs, the end waits until it has finished; file-manager requests already taken are stored
  // before the end.
  void EndOnSignal();

  // Takes one request of the file manager (its lines) and returns at once: LoadFileExecuteMacro
  // runs from the event loop, or, while a command runs, once it has ended, in the order the
  // requests came. Returns false, taking nothing, once the window is shutting down or when too
  // many requests wait.
  bool LoadFileRequest(const QStringList& lines);
  // At most this many requests wait for a running command.
  static constexpr size_t kMaxPendingRequests = 10000;

  // The monotonic clock by which the batch adds refresh the key list at most once per screen
  // frame (steady_clock unless a test gives its own).
  void SetBatchRefreshClock(std::function<std::chrono::steady_clock::time_point()> clock);

  // Files dropped onto the window (or given to it): one store file opens that store; picture
  // files are added as a batch add does, when a store is open.
  void DropFiles(const QStringList& files);

  // Shows the picture of the selected key with the view rule, and its position and size in the
  // status bar; with no selection, clears the picture and shows "0 kb". Raises what the store
  // and the decoder raise (a picture that cannot be decoded is cleared first).
  void MyUpdate() override;

  // ---- State.
  TKES& KES() { return kes_; }
  TImage& Image() const { return *image_; }
  TKeyListBox& KeyList() const { return *key_list_; }
  TNewGauge& Gauge() const { return *gauge_; }
  TMRUFileList& MRU() { return *mru_; }
  TPreferences& Preferences() const { return *preferences_; }
  TPasswordDlg& PasswordDlg() const { return *password_dlg_; }
  TAboutBox& AboutBox() const { return *about_box_; }
  TSaveAs& SaveAs() const { return *save_as_; }
  TNameDLG& NameDlg() const { return *name_dlg_; }
  TBatchAction& BatchAction() const { return *batch_action_; }
  TScanUnit& ScanUnit() const { return *scan_unit_; }
  TQMSProgress& QMS() const { return *qms_; }
  TSettings& Settings() { return settings_; }
  // The file manager's verb and request socket, or null once the window has shut down.
  TShellIntegration* Shell() const { return shell_.get(); }
  TFileManagerRequests& FileManagerRequests() const { return *file_manager_requests_; }
  // The help window, or null before help was first shown.
  THelpWindow* HelpWindow() const { return help_.data(); }
  QFrame& ToolBar() const { return *panel3_; }
  QLabel& PositionPanel() const { return *position_panel_; }
  QLabel& SizePanel() const { return *size_panel_; }
  QLabel& ViewStylePanel() const { return *view_style_panel_; }
  // The view's zoom in percent ("100 %").
  QLabel& ZoomPanel() const { return *zoom_panel_; }
  // "Read-only", shown while the open store is read-only.
  QLabel& ReadOnlyPanel() const { return *read_only_panel_; }
  QSplitter& Splitter() const { return *splitter_; }
  QAction& Action(TCommand command) const { return *actions_.at(command); }
  QToolButton& Button(TCommand command) const { return *buttons_.at(command); }
  QMenu& Menu(TMenuId menu) const { return *menus_.at(menu); }
  // Whether the command has a handler in this version (the others are shown disabled).
  bool Available(TCommand command) const { return handlers_.count(command) != 0; }
  bool StoreOpen() const { return !kes_.FileName().empty(); }
  int Quality() const { return preferences_values_.quality; }
  int ViewStyle() const { return preferences_values_.view_style; }
  bool AutoStart() const { return preferences_values_.auto_start; }
  const QString& RegistryFile() const { return settings_.RegistryFile(); }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // Building the window.
  void CreateActions();
  QAction* MakeAction(TCommand command, const char* text, const QKeySequence& shortcut,
                      std::function<void()> handler);
  void CreateMenus();
  void CreateToolBar();
  void CreateStatusBar();
  void CreateCommands();
  void SetUpStore();
  void SetUpImage();
  // Enables every command by availability and store state; the one place that does.
  void UpdateActions();
  void FormCreate();
  // The size of the first run; the size and position a run ends with go to the settings.
  QSize FirstRunSize() const;
  void SaveWindowGeometry();
  // Keeps the "Info" button 48 pixels from the tool bar's right edge.
  void PlaceInfoButton();

  // Runs body as a command: not while another runs, with its failures shown in the error box.
  void Guarded(const std::function<void()>& body);
  void ShowFailure(const std::exception& error);
  // Runs the requests that waited, unless a command runs.
  void RunPendingRequests();
  // Removes the file manager's verb and closes the socket; failures are shown when report is set.
  void StopShell(bool report);

  // Store events.
  void KESFileAssigned();
  // Asks whether to recover a session of the store that ended without closing (No discards it).
  TStaleChoice KESStaleSession(const TStaleSessionInfo& session);
  // The title names the open store and says when it is read-only; so does the status bar.
  void ShowStoreName();
  void KESDemandPassword(TPassword& password);
  void KESProgressUpdate(TPercentage percent);

  // TStoreView: the key list, the panels and the view rule for the workflows.
  void FillKeyList() override;
  void ClearKeyList() override;
  void KeyAdded(const std::string& key) override;
  void KeysAdded(std::vector<std::string> keys) override;
  void KeyRemoved(int row, const std::string& key) override;
  int KeyCount() const override;
  std::string KeyAt(int row) const override;
  void SelectRow(int row) override;
  void SelectKey(const std::string& key) override;
  int SelectedRow() const override;
  std::optional<std::string> SelectedKey() const override;
  bool ShowsSelectedPicture() const override;
  bool PasswordCancelled() const override;
  void ShowPosition(const QString& text) override;
  void ShowSize(int64_t bytes) override;
  void ShowViewStyle() override;
  void ResetProgress() override;

  void ApplyViewRule(bool fit_style);
  void ShowZoom();
  THelpWindow& Help();

  TPrompts& prompts_;
  TSettings settings_;
  TPreferenceValues preferences_values_;
  TKES kes_;

  TImage* image_ = nullptr;
  TKeyListBox* key_list_ = nullptr;
  QSplitter* splitter_ = nullptr;
  QFrame* panel3_ = nullptr;
  QWidget* status_bar_ = nullptr;
  QLabel* position_panel_ = nullptr;
  QLabel* item_size_label_ = nullptr;
  QLabel* size_panel_ = nullptr;
  QLabel* view_style_panel_ = nullptr;
  QLabel* read_only_panel_ = nullptr;
  QLabel* zoom_panel_ = nullptr;
  TNewGauge* gauge_ = nullptr;
  TAboutBox* about_box_ = nullptr;
  TPasswordDlg* password_dlg_ = nullptr;
  TSaveAs* save_as_ = nullptr;
  TPreferences* preferences_ = nullptr;
  TNameDLG* name_dlg_ = nullptr;
  TBatchAction* batch_action_ = nullptr;
  TScanUnit* scan_unit_ = nullptr;
  QPointer<THelpWindow> help_;
  QAction* reopen_place_holder_ = nullptr;

  std::map<TCommand, QAction*> actions_;
  std::map<TCommand, std::function<void()>> handlers_;
  std::map<TCommand, QToolButton*> buttons_;
  std::map<TMenuId, QMenu*> menus_;

  std::unique_ptr<TMRUFileList> mru_;  // made once the "&File" menu exists
  std::unique_ptr<TFileCommands> file_commands_;
  std::unique_ptr<TPictureCommands> picture_commands_;
  std::unique_ptr<THelpCommands> help_commands_;
  std::unique_ptr<TBatchCommands> batch_commands_;
  std::unique_ptr<TDatabaseCommands> database_commands_;
  std::unique_ptr<TQMSProgress> qms_;
  std::unique_ptr<TFileManagerRequests> file_manager_requests_;
  std::unique_ptr<TShellIntegration> shell_;
  std::deque<QStringList> pending_requests_;
  bool running_requests_ = false;  // RunPendingRequests is taking the queue

  bool running_ = false;     // a command is running
  bool form_shown_ = false;  // FormShow has been queued
  bool shut_down_ = false;   // the store was closed and the list saved by closing the window
  bool end_requested_ = false;            // a termination signal arrived while a command ran
  bool password_cancelled_ = false;       // the last password question was cancelled
  std::optional<std::string> shown_key_;  // the key whose picture MyUpdate showed, if any
};

}  // namespace sk
