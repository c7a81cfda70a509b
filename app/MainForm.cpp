// The main window: its layout, the action table, the key list, MyUpdate with the view rule, and
// the store's events. The menus' workflows live in FileCommands, PictureCommands and HelpCommands.
#include "app/MainForm.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMetaObject>
#include <QMimeData>
#include <QScreen>
#include <QSplitter>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

#include "app/AboutBox.h"
#include "app/Application.h"
#include "app/BatchAction.h"
#include "app/BatchCommands.h"
#include "app/BusyCursor.h"
#include "app/DatabaseCommands.h"
#include "app/FileCommands.h"
#include "app/FileManagerRequests.h"
#include "app/HelpCommands.h"
#include "app/HelpWindow.h"
#include "app/InputGate.h"
#include "app/KeyListBox.h"
#include "app/KeyText.h"
#include "app/Messages.h"
#include "app/NameDLG.h"
#include "app/NewGauge.h"
#include "app/PasswordDlg.h"
#include "app/PictureCommands.h"
#include "app/Preferences.h"
#include "app/Prompts.h"
#include "app/QMSProgress.h"
#include "app/SaveAs.h"
#include "app/ScanUnit.h"
#include "app/ScreenText.h"
#include "app/ShellIntegration.h"
#include "platform/qt/QtMetafileCanvas.h"
#include "vault/StaleSession.h"
#include "view/Image.h"

// The program's resources live in this static library; nothing else would keep them linked in.
static void InitResources() {
  Q_INIT_RESOURCE(stillkeep);
}

namespace sk {

namespace {

// Sizes of the window at its design size, in pixels.
constexpr int kDesignWidth = 582;
constexpr int kDesignHeight = 429;
constexpr int kToolBarHeight = 57;
constexpr int kButtonSize = 41;
constexpr int kInfoFromRight = 48;
constexpr int kKeyListWidth = 185;
constexpr int kStatusBarHeight = 23;
constexpr int kPositionPanelWidth = 136;
constexpr int kItemSizeLabelWidth = 72;
constexpr int kSizePanelWidth = 96;
constexpr int kViewStylePanelWidth = 65;
constexpr int kZoomPanelWidth = 56;
constexpr int kGlyphSize = 32;

// A tool-bar glyph from the desktop's icon theme, or the program's own when the theme has none.
QIcon Glyph(const char* theme_name, const char* own) {
  return QIcon::fromTheme(Text(theme_name), QIcon(QStringLiteral(":/icons/") + Text(own)));
}

QLabel* StatusPanel(const QString& text, int width, QWidget* parent) {
  auto* panel = new QLabel(text, parent);
  panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  panel->setIndent(3);
  if (width > 0) panel->setFixedWidth(width);
  return panel;
}

}  // namespace

TMainForm::TMainForm(TPrompts& prompts, QString registry_file, QWidget* parent)
    : QMainWindow(parent), prompts_(prompts), settings_(std::move(registry_file)) {
  InitResources();
  setWindowTitle(Text(app_msg::kAppTitle));
  setWindowIcon(QIcon(QStringLiteral(":/icons/stillkeep.png")));

  CreateActions();
  CreateMenus();
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  CreateToolBar();
  layout->addWidget(panel3_);
  // The list and the picture share the middle; the user moves the split, which is remembered.
  splitter_ = new QSplitter(Qt::Horizontal, central);
  splitter_->setChildrenCollapsible(false);
  key_list_ = new TKeyListBox(splitter_);
  key_list_->setMinimumWidth(kKeyListWidth / 2);
  image_ = new TImage(splitter_);
  image_->IO().SetMetafileCanvasFactory(MakeQtMetafileCanvas);
  splitter_->addWidget(key_list_);
  splitter_->addWidget(image_);
  splitter_->setStretchFactor(0, 0);
  splitter_->setStretchFactor(1, 1);
  splitter_->setSizes({kKeyListWidth, kDesignWidth - kKeyListWidth});
  layout->addWidget(splitter_, 1);
  CreateStatusBar();
  layout->addWidget(status_bar_);
  setCentralWidget(central);
  resize(FirstRunSize());
  setAcceptDrops(true);

  connect(key_list_, &TKeyListBox::SelectionChanged, this,
          [this] { Guarded([this] { MyUpdate(); }); });

  // The dialogs live for the whole run; the window owns them.
  about_box_ = new TAboutBox(this);
  password_dlg_ = new TPasswordDlg(this);
  save_as_ = new TSaveAs(this);
  save_as_->OnHelp = [this](int context) { Help().ShowContext(context); };
  save_as_->OnRefused = [this](const QString& message) { prompts_.ShowError(message); };
  preferences_ = new TPreferences(this);
  preferences_->OnHelp = [this](int context) { Help().ShowContext(context); };
  name_dlg_ = new TNameDLG(this);
  batch_action_ = new TBatchAction(this);
  scan_unit_ = new TScanUnit(this);

  SetUpImage();
  SetUpStore();

  // The recent-files list loads itself before FormCreate reads the preferences.
  mru_ = std::make_unique<TMRUFileList>(*menus_.at(TMenuId::kFile), *reopen_place_holder_,
                                        settings_.RegistryFile());
  mru_->OnMRUItemClick = [this](const QString& file_name) { OpenRecent(file_name); };
  mru_->CanChoose = [this] { return !running_; };
  try {
    mru_->Load();
  } catch (const std::exception& error) {
    ShowFailure(error);
  }
  CreateCommands();
  FormCreate();
  UpdateActions();
  // Where the window was when the last run ended.
  const QByteArray geometry = settings_.ReadWindowGeometry();
  if (!geometry.isEmpty()) restoreGeometry(geometry);
  const QByteArray split = settings_.ReadWindowSplit();
  if (!split.isEmpty()) splitter_->restoreState(split);
}

TMainForm::~TMainForm() {
  if (!shut_down_) SaveWindowGeometry();
  StopShell(false);
  // Nothing may reach the windows while they are being taken down.
  kes_.ProcessMessages = nullptr;
  kes_.ProgressUpdate = nullptr;
  kes_.OnDemandPassword = nullptr;
  kes_.OnFileAssigned = nullptr;
  kes_.OnStaleSession = nullptr;
  // The key list reads the store's keys, and the store goes before the window's child widgets.
  key_list_->SetKeys({});
  if (shut_down_) return;
  try {
    kes_.SetFileName("");
  } catch (...) {
    // A destructor cannot report; the store keeps its working files, so nothing is lost.
  }
  try {
    mru_->Save();
  } catch (...) {
    // The list of the previous run stays in the registry.
  }
}

// ---- Building the window ----

QAction* TMainForm::MakeAction(TCommand command, const char* text, const QKeySequence& shortcut,
                               std::function<void()> handler) {
  auto* action = new QAction(Text(text), this);
  if (!shortcut.isEmpty()) action->setShortcut(shortcut);
  if (handler) {
    handlers_[command] = handler;
    // Each handler guards itself (see Guarded).
    connect(action, &QAction::triggered, this, [handler = std::move(handler)] { handler(); });
  }
  actions_[command] = action;
  return action;
}

void TMainForm::CreateActions() {
  using C = TCommand;
  // Commands without a handler belong to later versions; they are shown, disabled.
  MakeAction(C::kOpen, app_msg::kOpenItem, QKeySequence(Qt::Key_F3), [this] { OpenStore(); });
  MakeAction(C::kClose, app_msg::kCloseItem, {}, [this] { CloseCurrentStore(); });
  MakeAction(C::kPreferences, app_msg::kPreferencesItem, QKeySequence(Qt::CTRL | Qt::Key_F2),
             [this] { EditPreferences(); });
  MakeAction(C::kExit, app_msg::kExitItem, {}, [this] { Exit(); });
  MakeAction(C::kImageLoad, app_msg::kLoadItem, {}, [this] { AddPicture(); });
  MakeAction(C::kImageDelete, app_msg::kDeleteItem, QKeySequence(Qt::Key_Delete),
             [this] { DeletePicture(); });
  MakeAction(C::kImageRename, app_msg::kRenameItem, QKeySequence(Qt::Key_F2),
             [this] { RenamePicture(); });
  MakeAction(C::kImageSave, app_msg::kSaveToDiskItem, {}, [this] { SavePicture(); });
  MakeAction(C::kBatchAdd, app_msg::kAddItem, {}, [this] { AddPictures(); });
  MakeAction(C::kBatchDelete, app_msg::kDeleteItem, {}, [this] { DeletePictures(); });
  MakeAction(C::kBatchScan, app_msg::kFileScanningItem, {}, [this] { AddScannedPictures(); });
  MakeAction(C::kBatchSave, app_msg::kSaveImageItem, {}, [this] { SavePictures(); });
  MakeAction(C::kPassword, app_msg::kPasswordItem, {}, [this] { ChangePassword(); });
  MakeAction(C::kPack, app_msg::kPackItem, QKeySequence(Qt::CTRL | Qt::Key_P), [this] { Pack(); });
  MakeAction(C::kKill, app_msg::kKillItem, {}, [this] { Kill(); });
  MakeAction(C::kContents, app_msg::kContentsItem, QKeySequence(Qt::Key_F1),
             [this] { ShowHelpContents(); });
  MakeAction(C::kAbout, app_msg::kAboutItem, QKeySequence(Qt::CTRL | Qt::Key_A),
             [this] { ShowAbout(); });

  struct TButtonSpec {
    TCommand command;
    const char* hint;
    const char* theme_glyph;
    const char* own_glyph;
    std::function<void()> handler;
  };
  const TButtonSpec buttons[] = {
      {C::kAddButton, app_msg::kAddHint, "insert-image", "add.png", [this] { AddPicture(); }},
      {C::kDeleteButton, app_msg::kDeleteHint, "edit-delete", "delete.png",
       [this] { DeletePicture(); }},
      {C::kSaveButton, app_msg::kSaveHint, "document-save", "save.png", [this] { SavePicture(); }},
      {C::kRenameButton, app_msg::kRenameHint, "accessories-text-editor", "rename.png",
       [this] { RenamePicture(); }},
      {C::kZoomInButton, app_msg::kZoomInHint, "zoom-in", "zoom-in.png", [this] { ZoomIn(); }},
      {C::kZoomOutButton, app_msg::kZoomOutHint, "zoom-out", "zoom-out.png", [this] { ZoomOut(); }},
      {C::kViewStyleButton, app_msg::kViewStyleHint, "zoom-fit-best", "view-style.png",
       [this] { ToggleViewStyle(); }},
      {C::kInfoButton, app_msg::kInfoHint, "help-about", "info.png", [this] { ShowAbout(); }},
  };
  for (const TButtonSpec& button_spec : buttons) {
    QAction* action = MakeAction(button_spec.command, button_spec.hint, {}, button_spec.handler);
    action->setToolTip(Text(button_spec.hint));
    action->setIcon(Glyph(button_spec.theme_glyph, button_spec.own_glyph));
  }
  // + and - zoom, as in every picture viewer ("=" is + without Shift on many keyboards).
  actions_.at(C::kZoomInButton)
      ->setShortcuts({QKeySequence(Qt::Key_Plus), QKeySequence(Qt::Key_Equal)});
  actions_.at(C::kZoomOutButton)->setShortcut(QKeySequence(Qt::Key_Minus));
}

void TMainForm::CreateMenus() {
  using C = TCommand;
  auto add = [this](TMenuId id, const char* title, std::initializer_list<TCommand> items) {
    QMenu* menu = menuBar()->addMenu(Text(title));
    for (TCommand item : items) menu->addAction(actions_.at(item));
    menus_[id] = menu;
    return menu;
  };
  QMenu* file = add(TMenuId::kFile, app_msg::kFileMenu, {C::kOpen});
  // The recent-files list puts its "Reopen" submenu at this hidden place holder.
  reopen_place_holder_ = file->addAction(Text(app_msg::kReopenItem));
  reopen_place_holder_->setVisible(false);
  file->addAction(actions_.at(C::kClose));
  file->addSeparator();
  file->addAction(actions_.at(C::kPreferences));
  file->addSeparator();
  file->addAction(actions_.at(C::kExit));

  QMenu* image = add(TMenuId::kImage, app_msg::kImageMenu, {C::kImageLoad, C::kImageDelete});
  image->addSeparator();
  image->addAction(actions_.at(C::kImageRename));
  image->addAction(actions_.at(C::kImageSave));

  QMenu* batch = add(TMenuId::kBatch, app_msg::kBatchMenu, {C::kBatchAdd, C::kBatchDelete});
  batch->addSeparator();
  batch->addAction(actions_.at(C::kBatchScan));
  batch->addSeparator();
  batch->addAction(actions_.at(C::kBatchSave));

  QMenu* database = add(TMenuId::kDatabase, app_msg::kDatabaseMenu, {C::kPassword});
  database->addSeparator();
  database->addAction(actions_.at(C::kPack));
  database->addAction(actions_.at(C::kKill));

  add(TMenuId::kHelp, app_msg::kHelpMenu, {C::kContents, C::kAbout});
}

void TMainForm::CreateToolBar() {
  panel3_ = new QFrame(this);
  panel3_->setFrameStyle(QFrame::Panel | QFrame::Raised);
  panel3_->setFixedHeight(kToolBarHeight);
  struct TPlace {
    TCommand command;
    int left;
  };
  const TPlace places[] = {
      {TCommand::kAddButton, 16},        {TCommand::kDeleteButton, 72},
      {TCommand::kSaveButton, 128},      {TCommand::kRenameButton, 184},
      {TCommand::kZoomInButton, 264},    {TCommand::kZoomOutButton, 312},
      {TCommand::kViewStyleButton, 360}, {TCommand::kInfoButton, kDesignWidth - kInfoFromRight},
  };
  const int top = (kToolBarHeight - kButtonSize) / 2;
  for (const TPlace& place : places) {
    auto* button = new QToolButton(panel3_);
    button->setDefaultAction(actions_.at(place.command));
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setIconSize(QSize(kGlyphSize, kGlyphSize));
    button->setGeometry(place.left, top, kButtonSize, kButtonSize);
    buttons_[place.command] = button;
  }
  panel3_->installEventFilter(this);
}

void TMainForm::CreateStatusBar() {
  status_bar_ = new QWidget(this);
  status_bar_->setFixedHeight(kStatusBarHeight);
  auto* layout = new QHBoxLayout(status_bar_);
  layout->setContentsMargins(0, 1, 0, 1);
  layout->setSpacing(2);
  position_panel_ = StatusPanel(Text(app_msg::kNoDatabase), kPositionPanelWidth, status_bar_);
  item_size_label_ = StatusPanel(Text(app_msg::kItemSizeLabel), kItemSizeLabelWidth, status_bar_);
  size_panel_ = StatusPanel(QString(), kSizePanelWidth, status_bar_);
  ShowSize(0);
  gauge_ = new TNewGauge(status_bar_);
  gauge_->SetMinValue(0);
  gauge_->SetMaxValue(100);
  gauge_->SetProgress(0);
  gauge_->SetShowText(false);
  gauge_->SetBackColor(palette().color(QPalette::Button));
  view_style_panel_ = StatusPanel(Text(app_msg::kOriginal), kViewStylePanelWidth, status_bar_);
  // Shown only while the open store is read-only.
  read_only_panel_ = StatusPanel(Text(app_msg::kReadOnlyPanel), 0, status_bar_);
  read_only_panel_->setVisible(false);
  layout->addWidget(read_only_panel_);
  layout->addWidget(position_panel_);
  layout->addWidget(item_size_label_);
  layout->addWidget(size_panel_);
  zoom_panel_ = StatusPanel(QString(), kZoomPanelWidth, status_bar_);
  layout->addWidget(gauge_, 1);
  layout->addWidget(zoom_panel_);
  layout->addWidget(view_style_panel_);
}

void TMainForm::CreateCommands() {
  const TCommandContext context{kes_, prompts_, *image_, *this, settings_, preferences_values_};
  file_commands_ = std::make_unique<TFileCommands>(context, *mru_, *preferences_);
  picture_commands_ = std::make_unique<TPictureCommands>(context, *name_dlg_, *save_as_);
  help_commands_ = std::make_unique<THelpCommands>(context, *about_box_,
                                                   [this]() -> THelpWindow& { return Help(); });
  // The user's input is delivered too, so that the gate a running command holds drops it.
  const auto pump = [] { QCoreApplication::processEvents(QEventLoop::AllEvents); };
  qms_ = std::make_unique<TQMSProgress>(*this, pump);
  batch_commands_ = std::make_unique<TBatchCommands>(context, *batch_action_, *save_as_,
                                                     *scan_unit_, *qms_, pump);
  database_commands_ = std::make_unique<TDatabaseCommands>(context, *password_dlg_, *mru_);
  file_manager_requests_ = std::make_unique<TFileManagerRequests>(context);
  // Metafiles added to the store are cleared to the colour the view shows around pictures.
  const uint32_t background = image_->ResolveColor(kButtonFaceColor);
  for (TOffscreenPicture* host :
       {&picture_commands_->AddPictureHost(), &batch_commands_->AddPictureHost(),
        &file_manager_requests_->AddPictureHost()}) {
    host->SetLoadBackground(background);
    host->IO().SetMetafileCanvasFactory(MakeQtMetafileCanvas);
  }
}

void TMainForm::SetUpImage() {
  // The status bar follows every zoom: the buttons, the wheel, the view rule.
  image_->OnViewChange = [this](TImageView&, int change) {
    if (change == 1) ShowZoom();
  };
  ShowZoom();
  image_->SetScrollBars(true);
  image_->SetBackground(kButtonFaceColor);
  image_->SetNColors(TNColors::nc8bit);
  image_->SetAnimatedSel(false);
  image_->setCursor(Qt::ArrowCursor);
}

void TMainForm::SetUpStore() {
  kes_.SetAggressiveUpdate(false);
  kes_.SetCacheFrequency(0);
  kes_.SetCacheSize(65536);
  kes_.SetCompression(false);
  kes_.SetReadOnly(false);
  kes_.SetSaveOnClose(true);
  kes_.SetExpandedFileNames(true);
  kes_.SetUseGrepMatch(false);
  kes_.ProgressUpdate = [this](TKES&, TPercentage percent, TProgressOrigin) {
    KESProgressUpdate(percent);
  };
  // Keeps the window painted during long store operations. Every store operation runs inside a
  // command (or the close), whose input gate drops what the user clicks or types meanwhile: held
  // input would run afterwards, on a state the user never saw.
  kes_.ProcessMessages = [] { QCoreApplication::processEvents(QEventLoop::AllEvents); };
  kes_.OnDemandPassword = [this](TKES&, TPassword& password) { KESDemandPassword(password); };
  kes_.OnFileAssigned = [this](TKES&) { KESFileAssigned(); };
  kes_.OnStaleSession = [this](TKES&, const TStaleSessionInfo& session) {
    return KESStaleSession(session);
  };
}

void TMainForm::UpdateActions() {
  const bool open = StoreOpen();
  for (TMenuId menu : {TMenuId::kImage, TMenuId::kBatch, TMenuId::kDatabase}) {
    menus_.at(menu)->menuAction()->setEnabled(open);
  }
  for (const auto& [command, action] : actions_) {
    // The picture, batch and store commands work on the open store; their menus follow it too.
    static constexpr TCommand kStoreCommands[] = {
        TCommand::kAddButton,    TCommand::kDeleteButton, TCommand::kSaveButton,
        TCommand::kRenameButton, TCommand::kImageLoad,    TCommand::kImageDelete,
        TCommand::kImageRename,  TCommand::kImageSave,    TCommand::kBatchAdd,
        TCommand::kBatchDelete,  TCommand::kBatchScan,    TCommand::kBatchSave,
        TCommand::kPassword,     TCommand::kPack,         TCommand::kKill};
    // Of those, these change the store: a read-only store keeps them disabled.
    static constexpr TCommand kChangingCommands[] = {
        TCommand::kAddButton, TCommand::kDeleteButton, TCommand::kRenameButton,
        TCommand::kImageLoad, TCommand::kImageDelete,  TCommand::kImageRename,
        TCommand::kBatchAdd,  TCommand::kBatchDelete,  TCommand::kBatchScan,
        TCommand::kPassword,  TCommand::kPack,         TCommand::kKill};
    const auto listed = [command](const auto& commands) {
      return std::find(std::begin(commands), std::end(commands), command) != std::end(commands);
    };
    const bool needs_store = listed(kStoreCommands);
    const bool changes_store = listed(kChangingCommands);
    action->setEnabled(Available(command) && (open || !needs_store) &&
                       !(changes_store && open && kes_.ReadOnly()));
  }
}

// ---- Preferences at start ----

void TMainForm::FormCreate() {
  preferences_values_ =
      settings_.ReadPreferences([this](const QString& message) { prompts_.ShowError(message); });
  ShowViewStyle();
  // The file manager's verb for the picture types, and the socket its requests come through.
  shell_ = std::make_unique<TShellIntegration>(
      TShellPaths::ForProgram(),
      [this](const QStringList& lines) { return LoadFileRequest(lines); });
  try {
    shell_->Start();
  } catch (const std::exception& error) {
    ShowFailure(error);
  }
}

bool TMainForm::LoadFileRequest(const QStringList& lines) {
  if (shut_down_ || pending_requests_.size() >= kMaxPendingRequests) return false;
  pending_requests_.push_back(lines);
  // Run from the event loop, never inside the socket's handler: the sender is answered at once,
  // and a message box that a request shows does not keep it waiting.
  QMetaObject::invokeMethod(
      this, [this] { RunPendingRequests(); }, Qt::QueuedConnection);
  return true;
}

void TMainForm::RunPendingRequests() {
  // A request never runs inside a command: the workflows share the store's current item and the
  // key list. Guarded calls back here when it ends, so the flag keeps the queue in one loop.
  if (running_requests_) return;
  running_requests_ = true;
  while (!running_ && !shut_down_ && !pending_requests_.empty()) {
    const QStringList lines = std::move(pending_requests_.front());
    pending_requests_.pop_front();
    // A store named on the command line opens; picture files are added.
    if (lines.size() == 1 && IsStoreFileName(lines.front())) {
      Guarded([this, &lines] { file_commands_->OpenStoreAt(lines.front()); });
      continue;
    }
    Guarded([this, &lines] { file_manager_requests_->LoadFileExecuteMacro(lines); });
  }
  running_requests_ = false;
  if (end_requested_) EndOnSignal();
}

void TMainForm::StopShell(bool report) {
  pending_requests_.clear();
  if (shell_ == nullptr) return;
  try {
    shell_->Stop();
  } catch (const std::exception& error) {
    if (report) ShowFailure(error);
  }
  shell_.reset();
}

// ---- Command edges ----

void TMainForm::Guarded(const std::function<void()>& body) {
  if (running_) return;
  running_ = true;
  {
    // Input for the window that arrives while the command runs is dropped, under the busy cursor.
    TInputGate gate(*this);
    try {
      body();
    } catch (const std::exception& error) {
      ShowFailure(error);
    } catch (...) {
      prompts_.ShowError(Text(app_msg::kUnknownFailure));
    }
  }
  running_ = false;
  if (end_requested_) EndOnSignal();
  RunPendingRequests();
}

void TMainForm::EndOnSignal() {
  // While a command or the queue of file-manager requests runs, the end waits for it.
  if (running_ || running_requests_) {
    end_requested_ = true;
    return;
  }
  end_requested_ = false;
  if (shut_down_) return;
  // The requests the file manager handed over were answered as taken: they are stored first.
  RunPendingRequests();
  if (shut_down_) return;
  // Set first: closing the store processes pending events, and the signal's notifier, still
  // readable, would end the program again inside this end.
  shut_down_ = true;
  SaveWindowGeometry();
  StopShell(false);
  {
    TInputGate gate(*this);
    file_commands_->ShutDownQuietly();
  }
  // Not quit(): that closes the windows first, and closing this one asks whether to exit.
  QCoreApplication::exit(0);
}

void TMainForm::ShowFailure(const std::exception& error) {
  // The gauge shows how far a failed operation had come; it must not stay there.
  ResetProgress();
  prompts_.ShowError(FailureText(error));
}

// ---- Size, position and drops ----

QSize TMainForm::FirstRunSize() const {
  // The design size, or three fifths of a larger screen, in the design's proportions.
  const QSize design(kDesignWidth, kDesignHeight + menuBar()->sizeHint().height());
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return design;
  const QSize room = screen->availableSize() * 3 / 5;
  return design.scaled(room, Qt::KeepAspectRatio).expandedTo(design);
}

void TMainForm::SaveWindowGeometry() {
  try {
    settings_.WriteWindowGeometry(saveGeometry());
    settings_.WriteWindowSplit(splitter_->saveState());
  } catch (const std::exception&) {
    // The window only opens at its first-run size next time.
  }
}

void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* event) {
  QStringList files;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) files.append(url.toLocalFile());
  }
  if (files.isEmpty()) return;
  event->acceptProposedAction();
  DropFiles(files);
}

void TMainForm::SetBatchRefreshClock(std::function<std::chrono::steady_clock::time_point()> clock) {
  batch_commands_->SetRefreshClock(std::move(clock));
}

void TMainForm::DropFiles(const QStringList& files) {
  // A store opens; pictures are added as a batch is (when a store is open).
  if (files.size() == 1 && IsStoreFileName(files.front())) {
    Guarded([this, &files] { file_commands_->OpenStoreAt(files.front()); });
    return;
  }
  if (!StoreOpen() || kes_.ReadOnly()) return;
  Guarded([this, &files] { batch_commands_->AddPictureFiles(files); });
}

QString HelpAnchor(TCommand command) {
  using C = TCommand;
  switch (command) {
    case C::kOpen:
    case C::kClose: return QStringLiteral("open");
    case C::kPreferences: return QStringLiteral("context-%1").arg(kHelpPreferences);
    case C::kExit: return QStringLiteral("exit");
    case C::kImageLoad:
    case C::kImageDelete:
    case C::kImageRename:
    case C::kImageSave: return QStringLiteral("image");
    case C::kBatchAdd:
    case C::kBatchDelete:
    case C::kBatchScan:
    case C::kBatchSave: return QStringLiteral("batch");
    case C::kPassword:
    case C::kPack:
    case C::kKill: return QStringLiteral("database");
    case C::kContents:
    case C::kAbout: return QStringLiteral("about");
    default: return QString();
  }
}

bool IsStoreFileName(const QString& file_name) {
  // The program's own extension, and the one the store gives a name without any.
  const QString suffix = QFileInfo(file_name).suffix().toLower();
  return suffix == Text(app_msg::kStoreExtension) ||
         QStringLiteral(".") + suffix == Text(kDefaultKESExtension);
}

// ---- Qt events ----

void TMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (form_shown_) return;
  form_shown_ = true;
  // Runs once the window is on the screen, from the event loop.
  QMetaObject::invokeMethod(
      this, [this] { FormShow(); }, Qt::QueuedConnection);
}

void TMainForm::closeEvent(QCloseEvent* event) {
  bool can_close = false;
  FormCloseQuery(can_close);
  if (can_close) {
    SaveWindowGeometry();
    // Closing the store processes pending events: a request that comes meanwhile waits.
    running_ = true;
    {
      TInputGate gate(*this);
      can_close = file_commands_->ShutDown();
    }
    running_ = false;
    shut_down_ = can_close;
  }
  // The verb exists only while the program runs.
  if (can_close) {
    StopShell(true);
  } else {
    RunPendingRequests();
  }
  if (can_close) {
    event->accept();
  } else {
    event->ignore();
  }
}

void TMainForm::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  FormResize();
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == panel3_ && event->type() == QEvent::Resize) PlaceInfoButton();
  return QMainWindow::eventFilter(watched, event);
}

// ---- Handlers ----

void TMainForm::FormShow() {
  // Events processed inside a running command can deliver this first call; the auto-load then
  // waits for the command's end.
  if (running_) {
    QMetaObject::invokeMethod(
        this, [this] { FormShow(); }, Qt::QueuedConnection);
    return;
  }
  Guarded([this] { file_commands_->AutoLoad(); });
}

void TMainForm::FormCloseQuery(bool& can_close) {
  can_close = false;
  // A close request that arrives while a command runs (through the store's progress steps)
  // is refused: the command still needs the window.
  if (running_) return;
  can_close = prompts_.MessageDlg(Text(app_msg::kConfirmExit), TMsgDlgType::kConfirmation,
                                  {TMsgDlgBtn::kYes, TMsgDlgBtn::kNo}) == TMsgDlgBtn::kYes;
}

void TMainForm::FormResize() {
  if (image_ == nullptr) return;
  TBusyCursor busy;
  ApplyViewRule(true);
}

void TMainForm::PlaceInfoButton() {
  QToolButton* info = buttons_.at(TCommand::kInfoButton);
  info->move(panel3_->width() - kInfoFromRight, info->y());
}

void TMainForm::OpenStore() {
  Guarded([this] { file_commands_->OpenStore(); });
}

void TMainForm::OpenRecent(const QString& file_name) {
  Guarded([this, &file_name] { file_commands_->OpenRecent(file_name); });
}

void TMainForm::CloseCurrentStore() {
  Guarded([this] { file_commands_->CloseCurrentStore(); });
}

void TMainForm::EditPreferences() {
  Guarded([this] { file_commands_->EditPreferences(); });
}

void TMainForm::Exit() {
  close();
}

void TMainForm::AddPicture() {
  Guarded([this] { picture_commands_->AddPicture(); });
}

void TMainForm::DeletePicture() {
  Guarded([this] { picture_commands_->DeletePicture(); });
}

void TMainForm::RenamePicture() {
  Guarded([this] { picture_commands_->RenamePicture(); });
}

void TMainForm::SavePicture() {
  Guarded([this] { picture_commands_->SavePicture(); });
}

void TMainForm::AddPictures() {
  Guarded([this] { batch_commands_->AddPictures(); });
}

void TMainForm::DeletePictures() {
  Guarded([this] { batch_commands_->DeletePictures(); });
}

void TMainForm::SavePictures() {
  Guarded([this] { batch_commands_->SavePictures(); });
}

void TMainForm::AddScannedPictures() {
  Guarded([this] { batch_commands_->AddScannedPictures(); });
}

void TMainForm::ChangePassword() {
  Guarded([this] { database_commands_->ChangePassword(); });
}

void TMainForm::Pack() {
  Guarded([this] { database_commands_->Pack(); });
}

void TMainForm::Kill() {
  Guarded([this] { database_commands_->Kill(); });
}

void TMainForm::ShowHelpContents() {
  Guarded([this] { help_commands_->ShowContents(); });
}

void TMainForm::ShowAbout() {
  Guarded([this] { help_commands_->ShowAbout(); });
}

void TMainForm::ZoomIn() {
  Guarded([this] {
    image_->SetScrollBars(true);
    image_->SetZoom(image_->Zoom() + 10);
  });
}

void TMainForm::ZoomOut() {
  Guarded([this] { image_->SetZoom(image_->Zoom() - 10); });
}

void TMainForm::ToggleViewStyle() {
  Guarded([this] {
    int& style = preferences_values_.view_style;
    style = style == 0 ? 1 : 0;
    MyUpdate();
    ShowViewStyle();
  });
}

// ---- MyUpdate and the view rule ----

void TMainForm::MyUpdate() {
  TMemoryStream stream;
  TBusyCursor busy;
  shown_key_.reset();
  std::string key;
  const int selected = key_list_->currentRow();
  if (selected < 0) {
    image_->Clear();
    ShowSize(0);
  } else {
    key = key_list_->Key(selected);
  }
  if (!kes_.FindKey(key)) return;
  const QString position =
      QString::number(selected + 1) + Text(app_msg::kOutOf) + QString::number(kes_.Count());
  try {
    kes_.GetItem(stream);
    image_->LoadFromStreamJpeg(stream);
  } catch (...) {
    // Neither the picture of the key selected before nor its size may stand for this one.
    image_->Clear();
    ShowPosition(position);
    ShowSize(0);
    throw;
  }
  ShowPosition(position);
  ShowSize(kes_.ItemSize());
  image_->SetBackground(kButtonFaceColor);
  ApplyViewRule(preferences_values_.view_style == 0);
  shown_key_ = key;
}

bool TMainForm::ShowsSelectedPicture() const {
  return shown_key_.has_value() && shown_key_ == SelectedKey();
}

void TMainForm::ApplyViewRule(bool fit_style) {
  const TPicture& picture = image_->Bitmap();
  if (picture.Empty()) return;
  if (!fit_style) {
    image_->SetZoom(100);
  } else if (picture.Width() > image_->width() || picture.Height() > image_->height()) {
    // Only ever reduces: a picture that fits is shown at its own size.
    image_->Fit();
  } else {
    image_->SetZoom(100);
  }
}

void TMainForm::ShowViewStyle() {
  view_style_panel_->setText(
      Text(preferences_values_.view_style == 0 ? app_msg::kFit : app_msg::kOriginal));
}

void TMainForm::ShowZoom() {
  zoom_panel_->setText(QString::number(image_->Zoom()) + Text(app_msg::kPercent));
}

void TMainForm::ShowSize(int64_t bytes) {
  // Kilobytes of 1000 bytes, rounded down.
  size_panel_->setText(QString::number(bytes / 1000) + Text(app_msg::kKb));
}

// ---- Store events ----

void TMainForm::KESFileAssigned() {
  if (!StoreOpen()) kes_.Password.clear();
  ShowStoreName();
  UpdateActions();
  // Work recovered into a copy, because the store changed since that session opened it.
  for (const std::string& name : kes_.RecoveredNames()) {
    if (StoreOpen() && name != kes_.FileName()) {
      prompts_.MessageDlg(Text(app_msg::kRecoveredAs).arg(FileNameText(name)),
                          TMsgDlgType::kInformation, {TMsgDlgBtn::kOk});
    }
  }
}

TStaleChoice TMainForm::KESStaleSession(const TStaleSessionInfo& session) {
  const QString question = QString::fromStdString(StaleSessionQuestion(session));
  return prompts_.MessageDlg(question, TMsgDlgType::kConfirmation,
                             {TMsgDlgBtn::kYes, TMsgDlgBtn::kNo}) == TMsgDlgBtn::kYes
             ? TStaleChoice::kRecover
             : TStaleChoice::kDiscard;
}

void TMainForm::ShowStoreName() {
  const bool read_only = StoreOpen() && kes_.ReadOnly();
  QString title = Text(app_msg::kAppTitle);
  if (StoreOpen()) {
    title = Text(app_msg::kTitleWithStore)
                .arg(title, QFileInfo(FileNameText(kes_.FileName())).fileName());
  }
  if (read_only) title += Text(app_msg::kReadOnlyTitle);
  setWindowTitle(title);
  read_only_panel_->setVisible(read_only);
}

void TMainForm::ResetProgress() {
  gauge_->SetProgress(gauge_->MinValue());
}

void TMainForm::KESDemandPassword(TPassword& password) {
  password_dlg_->ClearEdit();
  // The caption names the store the password is for.
  password_dlg_->setWindowTitle(Text(app_msg::kPasswordCaption) + QStringLiteral(" - ") +
                                QFileInfo(FileNameText(kes_.FileName())).fileName());
  password_cancelled_ = prompts_.ExecDialog(*password_dlg_) != QDialog::Accepted;
  if (!password_cancelled_) {
    if (std::optional<std::string> typed = password_dlg_->Password()) password = *typed;
  }
  password_dlg_->setWindowTitle(Text(app_msg::kPasswordCaption));
  password_dlg_->ClearEdit();
}

bool TMainForm::PasswordCancelled() const {
  return password_cancelled_;
}

void TMainForm::KESProgressUpdate(TPercentage percent) {
  try {
    gauge_->SetProgress(percent);
  } catch (...) {
    // Progress is only shown; it must never stop the store.
  }
}

// ---- The key list and the panels ----

void TMainForm::FillKeyList() {
  // Every key is shown from the store's own list; only a filtered store's keys are copied.
  if (kes_.Filter().empty()) {
    key_list_->ShowStore(kes_);
    return;
  }
  TStringList keys;
  kes_.GetKeys(keys);
  key_list_->SetKeys(keys.TakeItems());
}

void TMainForm::ClearKeyList() {
  key_list_->SetKeys({});
}

void TMainForm::KeyAdded(const std::string& key) {
  KeysAdded({key});
}

void TMainForm::KeysAdded(std::vector<std::string> keys) {
  if (keys.empty()) return;
  // The rows already read the store; only their number follows it, key by key. A list that shows
  // anything but the whole store is refilled.
  if (!key_list_->ShowsStore() || !kes_.Filter().empty() ||
      key_list_->count() + static_cast<int64_t>(keys.size()) != kes_.Count()) {
    FillKeyList();
    return;
  }
  // Inserted in the store's order, each key's index in the store is its row: every key before
  // it is counted by then, none after it yet.
  std::vector<int> rows;
  rows.reserve(keys.size());
  for (const std::string& key : keys) rows.push_back(kes_.IndexOfKey(key));
  std::sort(rows.begin(), rows.end());
  for (const int row : rows) {
    if (row < 0 || row > key_list_->count()) {
      FillKeyList();
      return;
    }
    key_list_->KeyInserted(row);
  }
}

void TMainForm::KeyRemoved(int row, const std::string& key) {
  if (!key_list_->ShowsStore() || !kes_.Filter().empty() || row < 0 || row >= key_list_->count() ||
      key_list_->count() - 1 != kes_.Count() || kes_.IndexOfKey(key) >= 0) {
    FillKeyList();
    return;
  }
  key_list_->KeyRemoved(row);
}

int TMainForm::KeyCount() const {
  return key_list_->count();
}

std::string TMainForm::KeyAt(int row) const {
  return std::string(key_list_->Key(row));
}

void TMainForm::SelectRow(int row) {
  key_list_->setCurrentRow(row);
}

void TMainForm::SelectKey(const std::string& key) {
  // The list holds the store's keys in the store's order, so the store's binary search gives the
  // row; a filtered list is searched.
  int row = kes_.Filter().empty() ? kes_.IndexOfKey(key) : -1;
  if (row >= key_list_->count() || (row >= 0 && key_list_->Key(row) != key)) row = -1;
  if (row < 0 && !kes_.Filter().empty()) {
    for (int i = 0; i < key_list_->count(); ++i) {
      if (key_list_->Key(i) == key) row = i;
    }
  }
  SelectRow(row);
}

int TMainForm::SelectedRow() const {
  return key_list_->currentRow();
}

std::optional<std::string> TMainForm::SelectedKey() const {
  const int row = key_list_->currentRow();
  if (row < 0) return std::nullopt;
  return std::string(key_list_->Key(row));
}

void TMainForm::ShowPosition(const QString& text) {
  position_panel_->setText(text);
}

THelpWindow& TMainForm::Help() {
  if (help_.isNull()) help_ = new THelpWindow(this);
  return *help_;
}

}  // namespace sk
