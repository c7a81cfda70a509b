// The main window: its layout, commands, store events, the workflows of opening and closing a
// store, MyUpdate and the preferences.
#include "app/Main.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMetaObject>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>

#include "app/about.h"
#include "app/Application.h"
#include "app/BusyCursor.h"
#include "app/Help.h"
#include "app/KeyText.h"
#include "app/Messages.h"
#include "app/NameBox.h"
#include "app/NewGauge.h"
#include "app/PassBox.h"
#include "app/Prompts.h"
#include "app/prefs.h"
#include "app/save.h"
#include "platform/MemoryStream.h"
#include "platform/Win1252.h"
#include "platform/qt/QtMetafileCanvas.h"
#include "platform/qt/Registry.h"
#include "store/KESNames.h"
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
constexpr int kGlyphSize = 32;
// An added picture is never stored above this JPEG quality; a renamed one is re-encoded at 100.
constexpr int kMaxAddQuality = 90;
constexpr int kRenameQuality = 100;
// The lengths the About box keeps of its two runtime lines.
constexpr size_t kVersionLineLength = 14;
constexpr size_t kAuthorLineLength = 48;

QString Text(const char* utf8) {
  return QString::fromUtf8(utf8);
}

// A tool-bar glyph from the desktop's icon theme, or the program's own when the theme has none.
QIcon Glyph(const char* theme_name, const char* own) {
  return QIcon::fromTheme(Text(theme_name), QIcon(QStringLiteral(":/icons/") + Text(own)));
}

// The key list. A click below the last key keeps the selection, as a list box does, rather than
// clearing it (which would clear the picture).
class TKeyListBox : public QListWidget {
 public:
  using QListWidget::QListWidget;

 protected:
  QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                       const QEvent* event) const override {
    if (!index.isValid()) return QItemSelectionModel::NoUpdate;
    return QListWidget::selectionCommand(index, event);
  }
};

QLabel* StatusPanel(const QString& text, int width, QWidget* parent) {
  auto* panel = new QLabel(text, parent);
  panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  panel->setIndent(3);
  if (width > 0) panel->setFixedWidth(width);
  return panel;
}

std::string FileNameBytes(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

}  // namespace

TMainForm::TMainForm(TPrompts& prompts, QString registry_file, QWidget* parent)
    : QMainWindow(parent),
      prompts_(prompts),
      registry_file_(registry_file.isEmpty() ? TRegistry::DefaultPath()
                                             : std::move(registry_file)) {
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
  auto* middle = new QHBoxLayout;
  middle->setSpacing(0);
  key_list_ = new TKeyListBox(central);
  key_list_->setFixedWidth(kKeyListWidth);
  key_list_->setSelectionMode(QAbstractItemView::SingleSelection);
  key_list_->setUniformItemSizes(true);
  key_list_->setSortingEnabled(false);
  middle->addWidget(key_list_);
  image_ = new TImage(central);
  image_->IO().SetMetafileCanvasFactory(MakeQtMetafileCanvas);
  middle->addWidget(image_, 1);
  layout->addLayout(middle, 1);
  CreateStatusBar();
  layout->addWidget(status_bar_);
  setCentralWidget(central);
  resize(kDesignWidth, kDesignHeight + menuBar()->sizeHint().height());

  connect(key_list_, &QListWidget::itemSelectionChanged, this,
          [this] { Guarded([this] { KeyListClick(); }); });

  // The dialogs live for the whole run; the window owns them.
  about_box_ = new TAboutBox(this);
  password_dlg_ = new TPasswordDlg(this);
  save_as_ = new TSaveAs(this);
  save_as_->OnHelp = [this](int context) { Help().ShowContext(context); };
  preferences_ = new TPreferences(this);
  preferences_->OnHelp = [this](int context) { Help().ShowContext(context); };
  name_dlg_ = new TNameDLG(this);

  SetUpImage();
  SetUpStore();

  // The recent-files list loads itself before FormCreate reads the preferences.
  mru_ = std::make_unique<TMRUFileList>(*menus_.at(TMenuId::kFile), *reopen_place_holder_,
                                        registry_file_);
  mru_->OnMRUItemClick = [this](const QString& file_name) { MRUMRUItemClick(file_name); };
  mru_->CanChoose = [this] { return !running_; };
  try {
    mru_->Load();
  } catch (const std::exception& error) {
    ShowFailure(error);
  }
  FormCreate();
  UpdateActions();
}

TMainForm::~TMainForm() {
  // Nothing may reach the windows while they are being taken down.
  kes_.ProcessMessages = nullptr;
  kes_.ProgressUpdate = nullptr;
  kes_.OnDemandPassword = nullptr;
  kes_.OnFileAssigned = nullptr;
  kes_.OnNavigate = nullptr;
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
  MakeAction(C::kOpen, app_msg::kOpenItem, QKeySequence(Qt::Key_F3), [this] { Open1Click(); });
  MakeAction(C::kClose, app_msg::kCloseItem, {}, [this] { Close1Click(); });
  MakeAction(C::kPreferences, app_msg::kPreferencesItem, QKeySequence(Qt::CTRL | Qt::Key_F2),
             [this] { Preferences1Click(); });
  MakeAction(C::kExit, app_msg::kExitItem, {}, [this] { Exit1Click(); });
  MakeAction(C::kImageLoad, app_msg::kLoadItem, {}, [this] { SpeedButton2Click(); });
  MakeAction(C::kImageDelete, app_msg::kDeleteItem, {}, [this] { SpeedButton3Click(); });
  MakeAction(C::kImageRename, app_msg::kRenameItem, {}, [this] { SpeedButton6Click(); });
  MakeAction(C::kImageSave, app_msg::kSaveToDiskItem, {}, [this] { SAvePicClick(); });
  MakeAction(C::kBatchAdd, app_msg::kAddItem, {}, nullptr);
  MakeAction(C::kBatchDelete, app_msg::kDeleteItem, {}, nullptr);
  MakeAction(C::kBatchScan, app_msg::kFileScanningItem, {}, nullptr);
  MakeAction(C::kBatchSave, app_msg::kSaveImageItem, {}, nullptr);
  MakeAction(C::kPassword, app_msg::kPasswordItem, {}, nullptr);
  MakeAction(C::kPack, app_msg::kPackItem, QKeySequence(Qt::CTRL | Qt::Key_P), nullptr);
  MakeAction(C::kKill, app_msg::kKillItem, {}, nullptr);
  MakeAction(C::kContents, app_msg::kContentsItem, QKeySequence(Qt::Key_F1),
             [this] { Contents1Click(); });
  MakeAction(C::kAbout, app_msg::kAboutItem, QKeySequence(Qt::CTRL | Qt::Key_A),
             [this] { About1Click(); });

  struct TButtonSpec {
    TCommand command;
    const char* hint;
    const char* theme_glyph;
    const char* own_glyph;
    std::function<void()> handler;
  };
  const TButtonSpec buttons[] = {
      {C::kAddButton, app_msg::kAddHint, "insert-image", "add.png",
       [this] { SpeedButton2Click(); }},
      {C::kDeleteButton, app_msg::kDeleteHint, "edit-delete", "delete.png",
       [this] { SpeedButton3Click(); }},
      {C::kSaveButton, app_msg::kSaveHint, "document-save", "save.png",
       [this] { SAvePicClick(); }},
      {C::kRenameButton, app_msg::kRenameHint, "accessories-text-editor", "rename.png",
       [this] { SpeedButton6Click(); }},
      {C::kZoomInButton, app_msg::kZoomInHint, "zoom-in", "zoom-in.png",
       [this] { SpeedButton4Click(); }},
      {C::kZoomOutButton, app_msg::kZoomOutHint, "zoom-out", "zoom-out.png",
       [this] { SpeedButton5Click(); }},
      {C::kViewStyleButton, app_msg::kViewStyleHint, "zoom-fit-best", "view-style.png",
       [this] { SpeedButton7Click(); }},
      {C::kInfoButton, app_msg::kInfoHint, "help-about", "info.png",
       [this] { SpeedButton1Click(); }},
  };
  for (const TButtonSpec& button_spec : buttons) {
    QAction* action = MakeAction(button_spec.command, button_spec.hint, {}, button_spec.handler);
    action->setToolTip(Text(button_spec.hint));
    action->setIcon(Glyph(button_spec.theme_glyph, button_spec.own_glyph));
  }
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
  SetSizeText(0);
  gauge_ = new TNewGauge(status_bar_);
  gauge_->SetMinValue(0);
  gauge_->SetMaxValue(100);
  gauge_->SetProgress(0);
  gauge_->SetShowText(false);
  gauge_->SetBackColor(palette().color(QPalette::Button));
  view_style_panel_ = StatusPanel(Text(app_msg::kOriginal), kViewStylePanelWidth, status_bar_);
  layout->addWidget(position_panel_);
  layout->addWidget(item_size_label_);
  layout->addWidget(size_panel_);
  layout->addWidget(gauge_, 1);
  layout->addWidget(view_style_panel_);
}

void TMainForm::SetUpImage() {
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
  // Keeps the window painted during long store operations; user input waits, so no second
  // command can start inside a running one.
  kes_.ProcessMessages = [] {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  };
  kes_.OnDemandPassword = [this](TKES&, TPassword& password) { KESDemandPassword(password); };
  kes_.OnFileAssigned = [this](TKES&) { KESFileAssigned(); };
  kes_.OnNavigate = [this](TKES&) { KESNavigate(); };
}

void TMainForm::UpdateActions() {
  const bool open = StoreOpen();
  for (TMenuId menu : {TMenuId::kImage, TMenuId::kBatch, TMenuId::kDatabase}) {
    menus_.at(menu)->menuAction()->setEnabled(open);
  }
  for (const auto& [command, action] : actions_) {
    // The picture commands work on the open store; the "&Image" menu follows it as well.
    const bool needs_store =
        command == TCommand::kAddButton || command == TCommand::kDeleteButton ||
        command == TCommand::kSaveButton || command == TCommand::kRenameButton ||
        command == TCommand::kImageLoad || command == TCommand::kImageDelete ||
        command == TCommand::kImageRename || command == TCommand::kImageSave;
    action->setEnabled(Available(command) && (open || !needs_store));
  }
}

// ---- Preferences at start ----

void TMainForm::FormCreate() {
  quality_ = ReadIntPreference(app_msg::kQualityValue, 75, 0, 100);
  try {
    auto_start_ =
        ReadBoolReg(Text(app_msg::kPreferencesKey), Text(app_msg::kAutoStartValue), false);
  } catch (const std::exception& error) {
    ShowFailure(error);
  }
  view_style_ = ReadIntPreference(app_msg::kViewStyleValue, 0, std::numeric_limits<int>::min(),
                                  std::numeric_limits<int>::max());
  ShowViewStyle();
}

int TMainForm::ReadIntPreference(const char* name, int default_value, int min_value,
                                 int max_value) {
  try {
    const QString text =
        ReadStringReg(Text(app_msg::kPreferencesKey), Text(name), QString::number(default_value));
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok) {
      prompts_.ShowError(Text(app_msg::kNotAnInteger).arg(text));
      return default_value;
    }
    return std::clamp(value, min_value, max_value);
  } catch (const std::exception& error) {
    ShowFailure(error);
    return default_value;
  }
}

// ---- Registry helpers ----

bool TMainForm::SetupKey(TRegistry& registry, const QString& key_path) {
  registry.CloseKey();
  try {
    return registry.OpenKey(key_path, true);
  } catch (const ERegistryException&) {
    return false;
  }
}

bool TMainForm::ReadBoolReg(const QString& key_path, const QString& name,
                            bool default_value) const {
  TRegistry registry(registry_file_);
  if (!SetupKey(registry, key_path) || !registry.ValueExists(name)) return default_value;
  return registry.ReadInteger(name) != 0;
}

QString TMainForm::ReadStringReg(const QString& key_path, const QString& name,
                                 const QString& default_value) const {
  TRegistry registry(registry_file_);
  if (!SetupKey(registry, key_path) || !registry.ValueExists(name)) return default_value;
  return registry.ReadString(name);
}

void TMainForm::WriteBoolReg(const QString& key_path, const QString& name, bool value) const {
  TRegistry registry(registry_file_);
  registry.OpenKey(key_path, true);
  registry.WriteInteger(name, value ? 1 : 0);
}

void TMainForm::WriteStringReg(const QString& key_path, const QString& name,
                               const QString& value) const {
  TRegistry registry(registry_file_);
  registry.OpenKey(key_path, true);
  registry.WriteString(name, value);
}

// ---- Command edges ----

void TMainForm::Guarded(const std::function<void()>& body) {
  if (running_) return;
  running_ = true;
  try {
    body();
  } catch (const std::exception& error) {
    ShowFailure(error);
  } catch (...) {
    prompts_.ShowError(Text(app_msg::kUnknownFailure));
  }
  running_ = false;
}

void TMainForm::ShowFailure(const std::exception& error) {
  prompts_.ShowError(FailureText(error));
}

// ---- Window events ----

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
  if (can_close) can_close = ShutDown();
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
  if (watched == panel3_ && event->type() == QEvent::Resize) Panel3Resize();
  return QMainWindow::eventFilter(watched, event);
}

// ---- Handlers ----

void TMainForm::FormShow() {
  Guarded([this] {
    if (!auto_start_ || mru_->Empty()) return;
    const QString path = mru_->Items().front();
    if (!QFileInfo(path).isFile()) {
      prompts_.MessageDlg(Text(app_msg::kFileNotFound), TMsgDlgType::kInformation,
                          {TMsgDlgBtn::kOk});
      return;
    }
    TBusyCursor busy;
    ResetStore();
    kes_.SetFileName(FileNameBytes(path));
    MyUpdate();
    position_panel_->setText(QFileInfo(path).fileName());
    FillKeyList();
    if (key_list_->count() > 0) {
      SelectRow(0);
      MyUpdate();
      WriteStringReg(Text(app_msg::kPreferencesKey), Text(app_msg::kLastFileValue), path);
    }
  });
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

void TMainForm::Panel3Resize() {
  QToolButton* info = buttons_.at(TCommand::kInfoButton);
  info->move(panel3_->width() - kInfoFromRight, info->y());
}

void TMainForm::KeyListClick() {
  MyUpdate();
}

void TMainForm::Open1Click() {
  Guarded([this] {
    const std::optional<QString> path = prompts_.OpenStoreFile();
    if (!path) return;
    LoadStore(*path);
    const QString opened = StoreFileName();
    mru_->Add(opened);
    mru_->Save();
    WriteStringReg(Text(app_msg::kPreferencesKey), Text(app_msg::kLastFileValue), opened);
  });
}

void TMainForm::MRUMRUItemClick(const QString& file_name) {
  Guarded([this, &file_name] {
    if (!QFileInfo(file_name).isFile()) {
      mru_->Save();
      prompts_.MessageDlg(Text(app_msg::kFileNotFound), TMsgDlgType::kInformation,
                          {TMsgDlgBtn::kOk});
      return;
    }
    TBusyCursor busy;
    mru_->Add(file_name);
    mru_->Save();
    LoadStore(file_name);
  });
}

void TMainForm::Close1Click() {
  Guarded([this] {
    CloseStore();
    kes_.Password.clear();
    position_panel_->setText(Text(app_msg::kNoDatabase));
    SetSizeText(0);
    {
      const QSignalBlocker blocker(key_list_);
      key_list_->clear();
    }
    image_->Clear();
  });
}

void TMainForm::Exit1Click() {
  close();
}

void TMainForm::Preferences1Click() {
  Guarded([this] {
    preferences_->SetQuality(quality_);
    preferences_->SetAutoStart(auto_start_);
    preferences_->SetViewStyle(view_style_);
    if (prompts_.ExecDialog(*preferences_) != QDialog::Accepted) return;
    const QString key = Text(app_msg::kPreferencesKey);
    WriteStringReg(key, Text(app_msg::kQualityValue), QString::number(preferences_->Quality()));
    WriteStringReg(key, Text(app_msg::kLanguageValue), preferences_->Language());
    WriteStringReg(key, Text(app_msg::kViewStyleValue), QString::number(preferences_->ViewStyle()));
    WriteBoolReg(key, Text(app_msg::kAutoStartValue), preferences_->AutoStart());
    auto_start_ = preferences_->AutoStart();
    quality_ = preferences_->Quality();
    view_style_ = preferences_->ViewStyle();
    ShowViewStyle();
    MyUpdate();
  });
}

void TMainForm::Contents1Click() {
  Guarded([this] { Help().ShowContext(kHelpContents); });
}

void TMainForm::SpeedButton4Click() {
  Guarded([this] {
    image_->SetScrollBars(true);
    image_->SetZoom(image_->Zoom() + 10);
  });
}

void TMainForm::SpeedButton5Click() {
  Guarded([this] { image_->SetZoom(image_->Zoom() - 10); });
}

void TMainForm::SpeedButton7Click() {
  Guarded([this] {
    view_style_ = view_style_ == 0 ? 1 : 0;
    MyUpdate();
    ShowViewStyle();
  });
}

// ---- Picture commands ----

void TMainForm::SpeedButton2Click() {
  Guarded([this] {
    const QStringList files = prompts_.OpenPictureFiles();
    if (files.isEmpty()) return;
    const QString file = files.front();
    std::string key;
    try {
      const std::string file_name =
          Utf8ToWin1252(QFileInfo(file).fileName().toStdString(), '?').value_or(std::string());
      name_dlg_->Edit().setText(KeyToText(NameFromFileName(file_name)));
      // The dialog has no cancel: whatever closes it, the add goes on under its text.
      prompts_.ExecDialog(*name_dlg_);
      TBusyCursor busy;
      image_->LoadFromFile(FileNameBytes(file));
      key = TextToKey(name_dlg_->Edit().text());
    } catch (const std::exception&) {
      prompts_.MessageDlg(Text(app_msg::kLoadFailed), TMsgDlgType::kWarning, {TMsgDlgBtn::kOk});
      return;
    }
    TBusyCursor busy;
    try {
      key = UniqueKeyGrowing(kes_, std::move(key));
    } catch (const EKeyNotUnique& error) {
      prompts_.ShowError(Text(app_msg::kKeyNotUnique).arg(FailureText(error)));
      // The loaded picture is not in the store: the view goes back to the selected one.
      MyUpdate();
      return;
    }
    try {
      TMemoryStream stream;
      image_->SaveToStreamJpeg(stream, std::min(quality_, kMaxAddQuality));
      kes_.AddItem(stream, key);
      kes_.Flush();
    } catch (const std::exception&) {
      prompts_.MessageDlg(Text(app_msg::kStoreFailed), TMsgDlgType::kWarning, {TMsgDlgBtn::kOk});
    }
    FillKeyList();
    SelectKey(key);
    MyUpdate();
  });
}

void TMainForm::SpeedButton3Click() {
  Guarded([this] {
    TBusyCursor busy;
    QListWidgetItem* selected = SelectedItem();
    const int index = selected == nullptr ? -1 : key_list_->row(selected);
    if (selected != nullptr) {
      if (kes_.FindKey(TextToKey(selected->text())) &&
          prompts_.MessageDlg(Text(app_msg::kConfirmDelete), TMsgDlgType::kConfirmation,
                              {TMsgDlgBtn::kYes, TMsgDlgBtn::kNo}) == TMsgDlgBtn::kYes) {
        kes_.Delete();
      }
      // Refreshed whatever the answer.
      FillKeyList();
    }
    SelectRow(index < key_list_->count() ? index : index - 1);
    MyUpdate();
  });
}

void TMainForm::SpeedButton6Click() {
  Guarded([this] {
    QListWidgetItem* selected = SelectedItem();
    if (selected == nullptr) return;
    TMemoryStream stream;
    TBusyCursor busy;
    // A rename stores the picture as shown, re-encoded, not the stored bytes.
    image_->SaveToStreamJpeg(stream, kRenameQuality);
    const std::string old_key = TextToKey(selected->text());
    // The stored bytes, kept to put the picture back should the new name be refused.
    TMemoryStream original;
    bool removed = false;
    if (kes_.FindKey(old_key)) {
      kes_.GetItem(original);
      kes_.Delete();
      removed = true;
      FillKeyList();
    }
    std::string key = TextToKey(prompts_.InputBox(
        Text(app_msg::kRenameCaption), Text(app_msg::kRenamePrompt), KeyToText(old_key)));
    while (kes_.FindKey(key)) {
      const QString taken = KeyToText(key);
      const QString answer = prompts_.InputBox(Text(app_msg::kKeyExistsCaption),
                                               Text(app_msg::kKeyExistsPrompt), taken);
      if (answer == taken) {
        // Cancelled (or the taken name given again): the picture keeps its old name, which the
        // delete above has freed, rather than asking for ever.
        key = old_key;
        break;
      }
      key = TextToKey(answer);
    }
    bool added = false;
    try {
      kes_.AddItem(stream, key);
      added = true;
      kes_.Flush();
    } catch (const std::exception& error) {
      setWindowTitle(Text(app_msg::kErrorCaption));
      const QString reason = FailureText(error);
      if (added || !removed) {
        prompts_.ShowError(reason);
      } else {
        // Nothing may be lost: the stored bytes go back under the old name.
        try {
          kes_.AddItem(original, old_key);
          key = old_key;
          kes_.Flush();
          prompts_.ShowError(Text(app_msg::kRenameRestored).arg(reason, KeyToText(old_key)));
        } catch (const std::exception&) {
          prompts_.ShowError(Text(app_msg::kRenameLost).arg(reason, KeyToText(old_key)));
        }
      }
    }
    FillKeyList();
    SelectKey(key);
  });
}

void TMainForm::SAvePicClick() {
  Guarded([this] {
    QListWidgetItem* selected = SelectedItem();
    if (selected == nullptr) return;
    save_as_->Edit1().setText(selected->text());
    if (prompts_.ExecDialog(*save_as_) != QDialog::Accepted) return;
    const QString path =
        SavePath(save_as_->Folder(), save_as_->Edit1().text(), save_as_->Extension());
    const std::string file = FileNameBytes(path);
    TBusyCursor busy;
    try {
      switch (save_as_->Format()) {
        case TSaveFormat::kJpeg: image_->SaveToFileJpeg(file, save_as_->Quality()); break;
        case TSaveFormat::kBmp: image_->SaveToFileBMP(file); break;
        case TSaveFormat::kGif:
          image_->SaveToFileGIF(file, save_as_->Interlaced(), 0, save_as_->Transparent(), 0, 0);
          break;
      }
    } catch (const std::exception& error) {
      // Nobody may believe a picture was saved when it was not.
      prompts_.ShowError(Text(app_msg::kSaveToDiskFailed).arg(path, FailureText(error)));
    }
  });
}

void TMainForm::SpeedButton1Click() {
  Guarded([this] {
    const std::string version = std::string(app_msg::kVersionPrefix) + kes_.AboutVersion();
    const std::string author = std::string(app_msg::kAuthorPrefix) + kes_.AboutAuthor();
    about_box_->SetVersionLines(KeyToText(std::string_view(version).substr(0, kVersionLineLength)),
                                KeyToText(std::string_view(author).substr(0, kAuthorLineLength)));
    prompts_.ExecDialog(*about_box_);
  });
}

void TMainForm::About1Click() {
  SpeedButton1Click();
}

// ---- MyUpdate and the view rule ----

void TMainForm::MyUpdate() {
  TMemoryStream stream;
  TBusyCursor busy;
  std::string key;
  QListWidgetItem* selected = SelectedItem();
  if (selected == nullptr) {
    image_->Clear();
    SetSizeText(0);
  } else {
    key = TextToKey(selected->text());
  }
  if (!kes_.FindKey(key)) return;
  kes_.GetItem(stream);
  try {
    image_->LoadFromStreamJpeg(stream);
  } catch (...) {
    // The picture of the key selected before must not stand for this one.
    image_->Clear();
    throw;
  }
  position_panel_->setText(QString::number(key_list_->row(selected) + 1) + Text(app_msg::kOutOf) +
                           QString::number(kes_.Count()));
  SetSizeText(kes_.ItemSize());
  image_->SetBackground(kButtonFaceColor);
  ApplyViewRule(view_style_ == 0);
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
  view_style_panel_->setText(Text(view_style_ == 0 ? app_msg::kFit : app_msg::kOriginal));
}

void TMainForm::SetSizeText(int64_t bytes) {
  // Kilobytes of 1000 bytes, rounded down.
  size_panel_->setText(QString::number(bytes / 1000) + Text(app_msg::kKb));
}

// ---- Store events ----

void TMainForm::KESFileAssigned() {
  if (!StoreOpen()) kes_.Password.clear();
  UpdateActions();
}

void TMainForm::KESDemandPassword(TPassword& password) {
  password_dlg_->ClearEdit();
  if (prompts_.ExecDialog(*password_dlg_) == QDialog::Accepted) {
    if (std::optional<std::string> typed = password_dlg_->Password()) password = *typed;
  }
  password_dlg_->ClearEdit();
}

void TMainForm::KESNavigate() {
  // Moving in the store has no visible effect of its own.
}

void TMainForm::KESProgressUpdate(TPercentage percent) {
  try {
    gauge_->SetProgress(percent);
  } catch (...) {
    // Progress is only shown; it must never stop the store.
  }
}

// ---- Workflow steps ----

void TMainForm::CloseStore() {
  if (!StoreOpen()) return;
  const std::string name = kes_.FileName();
  const bool writes = !kes_.ReadOnly();
  kes_.SetFileName("");
  const std::string& written = kes_.LastWrittenName();
  if (writes && !written.empty() && written != name) {
    prompts_.MessageDlg(Text(app_msg::kSavedElsewhere)
                            .arg(QFile::decodeName(QByteArray::fromStdString(name)),
                                 QFile::decodeName(QByteArray::fromStdString(written))),
                        TMsgDlgType::kWarning, {TMsgDlgBtn::kOk});
  }
}

void TMainForm::ResetStore() {
  CloseStore();
  kes_.Password.clear();
  {
    const QSignalBlocker blocker(key_list_);
    key_list_->clear();
  }
  image_->Clear();
}

void TMainForm::LoadStore(const QString& file_name) {
  TBusyCursor busy;
  ResetStore();
  kes_.SetFileName(FileNameBytes(file_name));
  MyUpdate();
  FillKeyList();
  if (key_list_->count() > 0) {
    SelectRow(0);
    MyUpdate();
  }
}

void TMainForm::FillKeyList() {
  TStringList keys;
  kes_.GetKeys(keys);
  const QSignalBlocker blocker(key_list_);
  key_list_->clear();
  for (const std::string& key : keys.Items()) {
    auto* item = new QListWidgetItem(KeyToText(key), key_list_);
    // Long keys are cut off by the list's width; the hint shows them whole.
    item->setToolTip(item->text());
  }
}

void TMainForm::SelectRow(int row) {
  const QSignalBlocker blocker(key_list_);
  key_list_->setCurrentRow(row);
}

void TMainForm::SelectKey(const std::string& key) {
  const QString text = KeyToText(key);
  for (int row = 0; row < key_list_->count(); ++row) {
    if (key_list_->item(row)->text() == text) {
      SelectRow(row);
      return;
    }
  }
  SelectRow(-1);
}

QListWidgetItem* TMainForm::SelectedItem() const {
  const QList<QListWidgetItem*> selected = key_list_->selectedItems();
  return selected.isEmpty() ? nullptr : selected.front();
}

QString TMainForm::StoreFileName() const {
  return QFile::decodeName(QByteArray::fromStdString(kes_.FileName()));
}

THelpWindow& TMainForm::Help() {
  if (help_.isNull()) help_ = new THelpWindow(this);
  return *help_;
}

bool TMainForm::ShutDown() {
  try {
    CloseStore();
  } catch (const std::exception& error) {
    ShowFailure(error);
    if (prompts_.MessageDlg(Text(app_msg::kExitUnsaved), TMsgDlgType::kWarning,
                            {TMsgDlgBtn::kYes, TMsgDlgBtn::kNo}) != TMsgDlgBtn::kYes) {
      return false;
    }
    // The user gives up the changes: close without writing the container back.
    kes_.SetReadOnly(true);
    try {
      kes_.SetFileName("");
    } catch (const std::exception&) {
      // Nothing more can be done; the working files stay in the temporary folder.
    }
  }
  try {
    mru_->Save();
  } catch (const std::exception& error) {
    ShowFailure(error);
  }
  shut_down_ = true;
  return true;
}

}  // namespace sk
