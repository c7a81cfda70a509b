// The save dialog.
#include "app/SaveAs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QStackedWidget>
#include <QStyle>
#include <QTreeView>
#include <QVBoxLayout>

#include "app/HelpWindow.h"
#include "app/FolderTree.h"
#include "app/Messages.h"
#include "app/ScreenText.h"
#include "view/Image.h"
#include "platform/Files.h"

namespace sk {

namespace {

QString PathText(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}

QLabel* BoldLabel(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  QFont font = label->font();
  font.setBold(true);
  label->setFont(font);
  return label;
}

QString DriveText(const TDrive& drive) {
  const QString path = PathText(drive.path);
  QString name;
  switch (drive.kind) {
    case TDriveKind::kHome: name = Text(app_msg::kHomeDrive); break;
    case TDriveKind::kRoot: name = Text(app_msg::kRootDrive); break;
    default: name = QFileInfo(path).fileName(); break;
  }
  return Text(app_msg::kDriveEntry).arg(name, path);
}

QStyle::StandardPixmap DriveIcon(TDriveKind kind) {
  switch (kind) {
    case TDriveKind::kHome: return QStyle::SP_DirHomeIcon;
    case TDriveKind::kRoot: return QStyle::SP_DriveHDIcon;
    case TDriveKind::kFixed: return QStyle::SP_DriveHDIcon;
    case TDriveKind::kRemovable: return QStyle::SP_DriveFDIcon;
    case TDriveKind::kNetwork: return QStyle::SP_DriveNetIcon;
  }
  return QStyle::SP_DirIcon;
}

}  // namespace

QString SaveFileName(const QString& text) {
  return QString::fromStdString(FileNameFromText(text.toStdString()));
}

QString SaveNameProblem(const QString& text) {
  if (text.contains(QLatin1Char('/')) || text.contains(QChar(0))) {
    return Text(app_msg::kSaveNameIsPath).arg(text);
  }
  return QString();
}

QString SavePath(const QString& folder, const QString& text, const QString& extension) {
  QString path = folder;
  if (!path.endsWith(QLatin1Char('/'))) path += QLatin1Char('/');
  return path + SaveFileName(text) + extension;
}

void WritePicture(TImage& picture, const std::string& file, const TSaveAs& options) {
  switch (options.Format()) {
    case TSaveFormat::kJpeg: picture.SaveToFileJpeg(file, options.Quality()); break;
    case TSaveFormat::kBmp: picture.SaveToFileBMP(file); break;
    case TSaveFormat::kGif:
      picture.SaveToFileGIF(file, options.Interlaced(), 0, options.Transparent(), 0, 0);
      break;
  }
}

TSaveAs::TSaveAs(QWidget* parent, std::function<std::vector<TDrive>()> drives)
    : QDialog(parent), drive_source_(drives ? std::move(drives) : SystemDrives) {
  setWindowTitle(Text(app_msg::kSaveAsCaption));
  setModal(true);
  // A dialog border without the window's own buttons: it closes through OK or Cancel.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

  drive_combo_ = new QComboBox(this);
  drive_combo_->setSizeAdjustPolicy(QComboBox::AdjustToContents);

  dir_model_ = new QFileSystemModel(this);
  dir_model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
  dir_model_->setReadOnly(true);
  dir_list_ = new QTreeView(this);
  dir_list_->setModel(dir_model_);
  dir_list_->setHeaderHidden(true);
  for (int column = 1; column < dir_model_->columnCount(); ++column) dir_list_->hideColumn(column);
  dir_list_->setSelectionMode(QAbstractItemView::SingleSelection);

  file_model_ = new QFileSystemModel(this);
  file_model_->setFilter(QDir::Files);
  file_model_->setReadOnly(true);
  file_list_ = new QListView(this);
  file_list_->setModel(file_model_);
  file_list_->setSelectionMode(QAbstractItemView::NoSelection);
  folder_label_ = new QLabel(this);
  folder_label_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  edit1_ = new QLineEdit(this);
  extension_label_ = BoldLabel(Text(app_msg::kJpegExtensionLabel), this);
  combo_box1_ = new QComboBox(this);
  combo_box1_->addItems({Text(app_msg::kJpegFormat), Text(app_msg::kBmpFormat),
                         Text(app_msg::kGifFormat)});

  // The option pages, one per format, without tabs.
  pages_ = new QStackedWidget(this);
  auto* jpeg_page = new QWidget(pages_);
  track_bar1_ = new QSlider(Qt::Horizontal, jpeg_page);
  track_bar1_->setRange(0, 100);
  track_bar1_->setSingleStep(1);
  track_bar1_->setPageStep(1);
  track_bar1_->setTickPosition(QSlider::TicksBelow);
  track_bar1_->setTickInterval(10);
  track_bar1_->setValue(100);
  quality_label_ = new QLabel(QStringLiteral("100") + Text(app_msg::kPercent), jpeg_page);
  quality_label_->setMinimumWidth(quality_label_->fontMetrics().horizontalAdvance(
      QStringLiteral("100") + Text(app_msg::kPercent)));
  auto* jpeg_layout = new QGridLayout(jpeg_page);
  jpeg_layout->addWidget(new QLabel(Text(app_msg::kJpegOptions), jpeg_page), 0, 0, 1, 2);
  jpeg_layout->addWidget(track_bar1_, 1, 0);
  jpeg_layout->addWidget(quality_label_, 1, 1);
  jpeg_layout->setRowStretch(2, 1);
  auto* bmp_page = new QWidget(pages_);
  auto* bmp_layout = new QVBoxLayout(bmp_page);
  bmp_layout->addWidget(new QLabel(Text(app_msg::kBmpOptions), bmp_page));
  bmp_layout->addStretch(1);
  auto* gif_page = new QWidget(pages_);
  check_box1_ = new QCheckBox(Text(app_msg::kInterlaced), gif_page);
  check_box1_->setChecked(true);
  check_box2_ = new QCheckBox(Text(app_msg::kTransparent), gif_page);
  auto* gif_layout = new QVBoxLayout(gif_page);
  gif_layout->addWidget(new QLabel(Text(app_msg::kGifOptions), gif_page));
  gif_layout->addWidget(check_box1_);
  gif_layout->addWidget(check_box2_);
  gif_layout->addStretch(1);
  pages_->addWidget(jpeg_page);
  pages_->addWidget(bmp_page);
  pages_->addWidget(gif_page);

  auto* buttons = new QDialogButtonBox(this);
  ok_ = buttons->addButton(Text(app_msg::kOk), QDialogButtonBox::AcceptRole);
  cancel_ = buttons->addButton(Text(app_msg::kCancel), QDialogButtonBox::RejectRole);
  help_ = buttons->addButton(Text(app_msg::kHelpButton), QDialogButtonBox::HelpRole);
  ok_->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(help_, &QPushButton::clicked, this, [this] { ShowHelp(); });

  auto* lists = new QHBoxLayout;
  lists->addWidget(dir_list_, 1);
  lists->addWidget(file_list_, 1);
  auto* options = new QGridLayout;
  options->addWidget(new QLabel(Text(app_msg::kFilenameLabel), this), 0, 0);
  options->addWidget(edit1_, 0, 1);
  options->addWidget(extension_label_, 0, 2);
  options->addWidget(combo_box1_, 0, 3);
  options->addWidget(pages_, 1, 0, 1, 4);
  options->setColumnStretch(1, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(drive_combo_);
  layout->addWidget(folder_label_);
  layout->addLayout(lists, 1);
  layout->addLayout(options);
  layout->addWidget(buttons);
  resize(560, 460);

  connect(drive_combo_, &QComboBox::activated, this, [this] { ShowChosenDrive(); });
  connect(combo_box1_, &QComboBox::currentIndexChanged, this, [this] { ChooseFormat(); });
  connect(track_bar1_, &QSlider::valueChanged, this, [this] { ShowQuality(); });
  // Selecting a folder, by click or by keys, and opening it by double-click both open it.
  connect(dir_list_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) { OpenFolder(current); });
  connect(dir_list_, &QTreeView::activated, this,
          [this](const QModelIndex& index) { OpenFolder(index); });
  FormCreate();
}

void TSaveAs::FormCreate() {
  drive_combo_->setMinimumWidth(300);
  combo_box1_->setCurrentIndex(0);
  ChooseFormat();
  RefreshDrives();
}

void TSaveAs::showEvent(QShowEvent* event) {
  RefreshDrives();
  QDialog::showEvent(event);
  // The file name is what people type first.
  if (edit1_->isEnabled()) edit1_->setFocus();
}

void TSaveAs::RefreshDrives() {
  drives_ = drive_source_();
  if (drives_.empty()) drives_.push_back({"/", TDriveKind::kRoot});
  {
    const QSignalBlocker blocker(drive_combo_);
    drive_combo_->clear();
    for (const TDrive& drive : drives_) {
      drive_combo_->addItem(style()->standardIcon(DriveIcon(drive.kind)), DriveText(drive),
                            PathText(drive.path));
    }
  }
  shown_drive_.clear();
  const QString open = folder_.isEmpty() ? QDir::currentPath() : folder_;
  if (QFileInfo(open).isDir() && ChooseFolder(open)) return;
  for (const TDrive& drive : drives_) {
    if (ChooseFolder(PathText(drive.path))) return;
  }
}

bool TSaveAs::ChooseFolder(const QString& folder) {
  const QString path = QDir::cleanPath(QDir(folder).absolutePath());
  if (!QFileInfo(path).isDir() || !QDir::setCurrent(path)) return false;
  folder_ = path;
  folder_label_->setText(QDir::toNativeSeparators(path));
  ShowDrive(DriveOfFolder(drives_, QFile::encodeName(path).toStdString()));
  file_model_->setRootPath(path);
  file_list_->setRootIndex(file_model_->index(path));
  SelectFolderRow(*dir_list_, *dir_model_, path);
  return true;
}

void TSaveAs::ShowDrive(const TDrive& drive) {
  const QString path = PathText(drive.path);
  const int row = drive_combo_->findData(path);
  {
    const QSignalBlocker blocker(drive_combo_);
    drive_combo_->setCurrentIndex(row);
  }
  if (shown_drive_ == path) return;
  shown_drive_ = path;
  dir_model_->setRootPath(path);
  dir_list_->setRootIndex(dir_model_->index(path));
}

TSaveFormat TSaveAs::Format() const {
  return static_cast<TSaveFormat>(combo_box1_->currentIndex());
}

QString TSaveAs::Extension() const {
  switch (Format()) {
    case TSaveFormat::kJpeg: return Text(app_msg::kJpegExtension);
    case TSaveFormat::kBmp: return Text(app_msg::kBmpExtension);
    case TSaveFormat::kGif: return Text(app_msg::kGifExtension);
  }
  return QString();
}

int TSaveAs::Quality() const {
  return track_bar1_->value();
}

bool TSaveAs::Interlaced() const {
  return check_box1_->isChecked();
}

bool TSaveAs::Transparent() const {
  return check_box2_->isChecked();
}

void TSaveAs::ChooseFormat() {
  static constexpr const char* kLabels[] = {app_msg::kJpegExtensionLabel,
                                            app_msg::kBmpExtensionLabel,
                                            app_msg::kGifExtensionLabel};
  const int index = combo_box1_->currentIndex();
  if (index < 0 || index > 2) return;
  pages_->setCurrentIndex(index);
  extension_label_->setText(Text(kLabels[index]));
}

void TSaveAs::ShowQuality() {
  quality_label_->setText(QString::number(track_bar1_->value()) + Text(app_msg::kPercent));
}

void TSaveAs::ShowChosenDrive() {
  const QString path = drive_combo_->currentData().toString();
  if (ChooseFolder(path)) return;
  // A drive that cannot be entered (a medium just taken out): stay where we were.
  ShowDrive(DriveOfFolder(drives_, QFile::encodeName(folder_).toStdString()));
}

void TSaveAs::OpenFolder(const QModelIndex& index) {
  if (!index.isValid()) return;
  const QString path = dir_model_->filePath(index);
  if (path != folder_ && !ChooseFolder(path)) {
    // An unreadable folder: the selection goes back to the open one.
    ChooseFolder(folder_);
  }
}

void TSaveAs::ProposeName(const QString& name) {
  proposed_name_ = name;
  edit1_->setText(name);
}

QString TSaveAs::TypedNameProblem() const {
  // The proposed name is a key, which may hold "/"; the save turns that into "_".
  if (!edit1_->isEnabled() || edit1_->text() == proposed_name_) return QString();
  return SaveNameProblem(edit1_->text());
}

void TSaveAs::accept() {
  // A typed path would become a file name with its slashes replaced: the folder is chosen in the
  // folder list.
  const QString problem = TypedNameProblem();
  if (!problem.isEmpty()) {
    if (OnRefused) OnRefused(problem);
    edit1_->setFocus();
    edit1_->selectAll();
    return;
  }
  QDialog::accept();
}

void TSaveAs::ShowHelp() {
  if (OnHelp) OnHelp(kHelpSaveAs);
}

}  // namespace sk
