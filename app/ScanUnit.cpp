// The scan dialog: its controls, the search choices, the scan with its running totals and the
// check list of the files found.
#include "app/ScanUnit.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCollator>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>

#include "app/BusyCursor.h"
#include "app/FolderTree.h"
#include "app/Messages.h"
#include "app/ScreenText.h"

namespace sk {

namespace {

// The dialog's own texts.
constexpr char kCaption[] = "Scanning a drive for files";
constexpr char kSearch[] = "Search";
constexpr char kSearchItems[4][20] = {"Drive", "Directory Only", "Directory + Subs", "All Disks"};
constexpr char kHint[] = "Right-Click me for options";
constexpr char kSelectAll[] = "Select all";
constexpr char kDeSelectAll[] = "DeSelect All";
constexpr char kStart[] = "START";
constexpr char kStop[] = "Stop";
constexpr char kAddToDatabase[] = "Add To Database";
constexpr char kClose[] = "&Close";
constexpr char kDoneScanning[] = "Done Scanning";
constexpr char kTotalFiles[] = "Total files ";
constexpr char kSize[] = " size ";
constexpr char kKb[] = " Kb";

QString DriveText(const TDrive& drive) {
  const QString path = FileNameText(drive.path);
  QString name;
  switch (drive.kind) {
    case TDriveKind::kHome: name = Text(app_msg::kHomeDrive); break;
    case TDriveKind::kRoot: name = Text(app_msg::kRootDrive); break;
    default: name = QFileInfo(path).fileName(); break;
  }
  return Text(app_msg::kDriveEntry).arg(name, path);
}

// Whether an event is the user's doing: input, and requests to close a window.
bool IsUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::TabletMove:
    case QEvent::Close: return true;
    default: return false;
  }
}

// Draws items as the standard delegate does, each line a fixed number of pixels high.
class TItemHeightDelegate : public QStyledItemDelegate {
 public:
  TItemHeightDelegate(int height, QObject* parent) : QStyledItemDelegate(parent), height_(height) {}
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    return {QStyledItemDelegate::sizeHint(option, index).width(), height_};
  }

 private:
  int height_;
};

}  // namespace

QString FileCounterText(int64_t files_count) {
  return Text(kTotalFiles) + QString::number(files_count);
}

QString SizeCounterText(uint64_t files_size) {
  return Text(kSize) + QString::number(files_size / 1024) + Text(kKb);
}

TScanUnit::TScanUnit(QWidget* parent, std::shared_ptr<TFileTree> tree,
                     std::function<std::vector<TDrive>()> drives)
    : QDialog(parent),
      disk_scan_(std::move(tree)),
      drive_source_(drives ? std::move(drives) : SystemDrives) {
  setWindowTitle(Text(kCaption));
  setModal(true);
  // A resizable tool window with a system menu and a maximise box.
  setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);

  // Top panel: drive and folder on the left, the search choice on the right.
  auto* top = new QWidget(this);
  top->setFixedHeight(137);
  drive_combo_ = new QComboBox(top);
  drive_combo_->setGeometry(8, 8, 145, 22);
  dir_model_ = new QFileSystemModel(this);
  dir_model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
  dir_model_->setReadOnly(true);
  dir_box_ = new QTreeView(top);
  dir_box_->setGeometry(8, 32, 145, 97);
  dir_box_->setModel(dir_model_);
  dir_box_->setHeaderHidden(true);
  for (int column = 1; column < dir_model_->columnCount(); ++column) dir_box_->hideColumn(column);
  dir_box_->setSelectionMode(QAbstractItemView::SingleSelection);
  radio_group_ = new QGroupBox(Text(kSearch), top);
  radio_group_->setGeometry(160, 8, 113, 121);
  search_buttons_ = new QButtonGroup(this);
  auto* choices = new QVBoxLayout(radio_group_);
  for (int index = 0; index < 4; ++index) {
    auto* button = new QRadioButton(Text(kSearchItems[index]), radio_group_);
    search_buttons_->addButton(button, index);
    choices->addWidget(button);
  }
  search_buttons_->button(kDirectoryAndSubs)->setChecked(true);

  // The check list of files found.
  to_be_ = new QListWidget(this);
  QPalette palette = to_be_->palette();
  palette.setColor(QPalette::Base, palette.color(QPalette::Button));
  to_be_->setPalette(palette);
  to_be_->setToolTip(Text(kHint));
  to_be_->setUniformItemSizes(true);
  to_be_->setItemDelegate(new TItemHeightDelegate(16, to_be_));
  to_be_->setContextMenuPolicy(Qt::CustomContextMenu);
  popup_menu_ = new QMenu(this);
  select_all_ = popup_menu_->addAction(Text(kSelectAll));
  deselect_all_ = popup_menu_->addAction(Text(kDeSelectAll));

  // Bottom panel: where the scan is, the buttons and the totals.
  auto* bottom_panel = new QWidget(this);
  bottom_panel->setFixedHeight(84);
  status_ = new QLabel(bottom_panel);
  status_->setAlignment(Qt::AlignCenter);
  status_->setFixedHeight(20);
  // A long folder must not widen the window.
  status_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  auto* bottom = new QWidget(bottom_panel);
  auto* bottom_layout = new QVBoxLayout(bottom_panel);
  bottom_layout->setContentsMargins(0, 0, 0, 0);
  bottom_layout->setSpacing(0);
  bottom_layout->addWidget(status_);
  bottom_layout->addWidget(bottom, 1);
  // Below the status line the controls sit where they would at y 24 and 56 of the panel.
  const auto button = [this, bottom](const char* text, QStyle::StandardPixmap icon, int x, int y,
                                     int width) {
    auto* b = new QPushButton(style()->standardIcon(icon), Text(text), bottom);
    b->setGeometry(x, y - 20, width, 25);
    b->setAutoDefault(false);
    return b;
  };
  start_ = button(kStart, QStyle::SP_MediaPlay, 8, 24, 75);
  start_->setDefault(true);
  stop_ = button(kStop, QStyle::SP_MediaStop, 88, 24, 75);
  stop_->setEnabled(false);
  file_counter_ = new QLabel(bottom);
  file_counter_->setGeometry(176, 4, 120, 16);
  size_counter_ = new QLabel(bottom);
  size_counter_->setGeometry(176, 20, 120, 16);
  add_ = button(kAddToDatabase, QStyle::SP_DialogApplyButton, 8, 56, 153);
  add_->setEnabled(false);
  close_ = button(kClose, QStyle::SP_DialogCloseButton, 176, 56, 107);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(top);
  layout->addWidget(to_be_, 1);
  layout->addWidget(bottom_panel);
  resize(300, 343);

  disk_scan_.SetFileMask(kPictureMasks);
  disk_scan_.SetUpdateList(true);
  disk_scan_.SetScanOptions(TScanOptions::kSpecifiedDir);
  disk_scan_.SetScanDir("/");
  disk_scan_.SetProcessMsg(true);
  disk_scan_.SetDoRecursive(true);
  disk_scan_.OnProcess = [this](TDiskScan&, const std::string& dir, int64_t count, uint64_t size) {
    ShowScanProgress(dir, count, size);
  };
  disk_scan_.OnChanged = [this](TDiskScan&, int64_t count, uint64_t size) {
    ShowMatchTotals(count, size);
  };
  // Everything pending is handled, so the window repaints and "Stop" and Esc get through; the
  // event filter keeps the user's input from reaching any other window meanwhile.
  disk_scan_.PumpMessages = [] { QCoreApplication::processEvents(QEventLoop::AllEvents); };

  connect(search_buttons_, &QButtonGroup::idClicked, this, [this] { ChooseSearch(); });
  connect(start_, &QPushButton::clicked, this, [this] { StartScan(); });
  connect(stop_, &QPushButton::clicked, this, [this] { StopScan(); });
  connect(add_, &QPushButton::clicked, this, [this] { accept(); });
  connect(close_, &QPushButton::clicked, this, [this] { CloseScan(); });
  connect(select_all_, &QAction::triggered, this, [this] { CheckAll(); });
  connect(deselect_all_, &QAction::triggered, this, [this] { UncheckAll(); });
  connect(to_be_, &QListWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { popup_menu_->popup(to_be_->viewport()->mapToGlobal(at)); });
  connect(to_be_, &QListWidget::itemClicked, this,
          [this](QListWidgetItem* item) { ToggleEntry(item); });
  connect(drive_combo_, &QComboBox::activated, this, [this] { ShowChosenDrive(); });
  connect(dir_box_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) {
            if (current.isValid()) directory_ = dir_model_->filePath(current);
          });

  drives_ = drive_source_();
  for (const TDrive& drive : drives_) {
    drive_combo_->addItem(
        style()->standardIcon(drive.kind == TDriveKind::kNetwork ? QStyle::SP_DriveNetIcon
                                                                 : QStyle::SP_DriveHDIcon),
        DriveText(drive), FileNameText(drive.path));
  }
  if (!ChooseDirectory(QDir::currentPath()) && !drives_.empty()) ShowDrive(drives_.front());
}

TScanUnit::~TScanUnit() {
  // A dialog destroyed from within its own scan cannot happen: close requests wait for the end.
  qApp->removeEventFilter(this);
}

void TScanUnit::ClearForShowing() {
  to_be_->clear();
  file_counter_->clear();
  size_counter_->clear();
}

QStringList TScanUnit::CheckedFiles() const {
  QStringList files;
  for (int row = 0; row < to_be_->count(); ++row) {
    const QListWidgetItem* item = to_be_->item(row);
    if (item->checkState() == Qt::Checked) files.push_back(item->text());
  }
  return files;
}

bool TScanUnit::ChooseDirectory(const QString& folder) {
  const QFileInfo info(folder);
  if (!info.isDir() || drives_.empty()) return false;
  const QString path = QDir::cleanPath(info.absoluteFilePath());
  ShowDrive(DriveOfFolder(drives_, FileNameBytes(path)));
  directory_ = path;
  SelectFolderRow(*dir_box_, *dir_model_, path);
  return true;
}

void TScanUnit::ShowChosenDrive() {
  const QString path = drive_combo_->currentData().toString();
  for (const TDrive& drive : drives_) {
    if (FileNameText(drive.path) == path) {
      ShowDrive(drive);
      directory_ = path;
      return;
    }
  }
}

void TScanUnit::ShowDrive(const TDrive& drive) {
  const QString path = FileNameText(drive.path);
  const int row = drive_combo_->findData(path);
  if (row >= 0) {
    const QSignalBlocker blocker(drive_combo_);
    drive_combo_->setCurrentIndex(row);
  }
  dir_model_->setRootPath(path);
  dir_box_->setRootIndex(dir_model_->index(path));
}

void TScanUnit::ChooseSearch() {
  switch (search_buttons_->checkedId()) {
    case kDrive:
      disk_scan_.SetScanOptions(TScanOptions::kSpecifiedDisk);
      disk_scan_.SetDoRecursive(true);
      break;
    case kDirectoryOnly:
      disk_scan_.SetScanOptions(TScanOptions::kSpecifiedDir);
      disk_scan_.SetDoRecursive(false);
      break;
    case kDirectoryAndSubs:
      disk_scan_.SetScanOptions(TScanOptions::kSpecifiedDir);
      disk_scan_.SetDoRecursive(true);
      break;
    case kAllDisks:
      disk_scan_.SetScanOptions(TScanOptions::kAllDisks);
      disk_scan_.SetDoRecursive(true);
      break;
    default: break;
  }
}

void TScanUnit::StartScan() {
  // The handlers assume one scan at a time; "START" pressed inside a running scan does nothing.
  if (disk_scan_.Scanning()) return;
  stop_->setEnabled(true);
  to_be_->clear();
  disk_scan_.ClearFiles();
  file_counter_->clear();
  size_counter_->clear();
  add_->setEnabled(false);
  // With "Drive" the scanner walks the mounted file system that holds this folder.
  disk_scan_.SetScanDir(FileNameBytes(directory_));
  close_requested_ = false;
  struct TScanEnd {
    TScanUnit& unit;
    ~TScanEnd() {
      qApp->removeEventFilter(&unit);
      unit.stop_->setEnabled(false);
    }
  };
  {
    qApp->installEventFilter(this);
    const TScanEnd end{*this};
    disk_scan_.Scan();
  }
  if (close_requested_) {
    close_requested_ = false;
    QDialog::reject();
  }
}

void TScanUnit::StopScan() {
  disk_scan_.Stop();
}

void TScanUnit::CheckAll() {
  for (int row = 0; row < to_be_->count(); ++row) to_be_->item(row)->setCheckState(Qt::Checked);
}

void TScanUnit::UncheckAll() {
  for (int row = 0; row < to_be_->count(); ++row) {
    to_be_->item(row)->setCheckState(Qt::Unchecked);
  }
}

void TScanUnit::CloseScan() {
  reject();
}

void TScanUnit::reject() {
  if (disk_scan_.Scanning()) {
    close_requested_ = true;
    return;
  }
  QDialog::reject();
}

void TScanUnit::keyPressEvent(QKeyEvent* event) {
  // Esc presses "Stop", the cancel button, when it can be pressed; it does not close the dialog.
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    if (stop_->isEnabled()) stop_->click();
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

bool TScanUnit::eventFilter(QObject* watched, QEvent* event) {
  // Installed on the application while a scan runs: the user's input reaches this dialog and
  // the windows it owns (its menu, the drive list's popup), nothing else.
  if (!IsUserInput(event->type())) return false;
  QObject* object = watched;
  while (object != nullptr && !object->isWidgetType()) object = object->parent();
  for (auto* widget = static_cast<QWidget*>(object); widget != nullptr;
       widget = widget->parentWidget()) {
    if (widget == this) return false;
  }
  return true;
}

void TScanUnit::ShowScanProgress(const std::string& dir, int64_t files_count, uint64_t files_size) {
  status_->setText(FileNameText(dir));
  ShowCounters(files_count, files_size);
}

void TScanUnit::ShowCounters(int64_t files_count, uint64_t files_size) {
  file_counter_->setText(FileCounterText(files_count));
  size_counter_->setText(SizeCounterText(files_size));
}

void TScanUnit::ShowMatchTotals(int64_t files_count, uint64_t files_size) {
  status_->setText(Text(kDoneScanning));
  ShowCounters(files_count, files_size);
  if (disk_scan_.Files().empty()) {
    add_->setEnabled(false);
    return;
  }
  const TBusyCursor busy;
  // The list keeps its items in the collation of the user's locale, ignoring case; names that
  // collate alike keep the order of their characters.
  QStringList lines;
  for (int row = 0; row < to_be_->count(); ++row) lines.push_back(to_be_->item(row)->text());
  for (const TFileObject& file : disk_scan_.Files()) lines.push_back(FileNameText(file.FullName()));
  QCollator collator;
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  std::sort(lines.begin(), lines.end(), [&collator](const QString& a, const QString& b) {
    const int order = collator.compare(a, b);
    return order != 0 ? order < 0 : a < b;
  });
  to_be_->setUpdatesEnabled(false);
  to_be_->clear();
  for (const QString& line : lines) {
    auto* item = new QListWidgetItem(line, to_be_);
    // A click anywhere on the item toggles it (ToggleEntry), the box included.
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setCheckState(Qt::Checked);
  }
  to_be_->setUpdatesEnabled(true);
  add_->setEnabled(true);
}

void TScanUnit::ToggleEntry(QListWidgetItem* item) {
  item->setCheckState(item->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
}

}  // namespace sk
