// TSaveAs: the modal dialog that chooses where and how the selected picture is saved to disk: a
// drive selector, the folders of the chosen drive, the files of the open folder, the file name,
// the format and the format's options. Opening a folder makes it the process's current folder.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "platform/Drives.h"

class QCheckBox;
class QComboBox;
class QFileSystemModel;
class QLabel;
class QLineEdit;
class QListView;
class QModelIndex;
class QPushButton;
class QSlider;
class QStackedWidget;
class QTreeView;

namespace sk {

// The formats of the format box, in its order.
enum class TSaveFormat { kJpeg = 0, kBmp = 1, kGif = 2 };

// The file name a save writes for text (FileNameFromText): never a path out of its folder.
QString SaveFileName(const QString& text);
// Why text typed as the file name cannot be one (it names a path, or holds NUL), as a message; ""
// when it can.
QString SaveNameProblem(const QString& text);

// folder + "/" + SaveFileName(text) + extension. The extension is always appended.
QString SavePath(const QString& folder, const QString& text, const QString& extension);

class TImage;
class TSaveAs;

// Writes the picture to file in the format chosen in the dialog: JPEG at the track bar's quality,
// BMP, or GIF with the dialog's interlace and transparency choices. Raises what the writer raises.
void WritePicture(TImage& picture, const std::string& file, const TSaveAs& options);

class TSaveAs : public QDialog {
  Q_OBJECT

 public:
  // Builds the dialog (FormCreate): the drives of drives (the mount table when null), the current
  // folder of the process opened, format "JPEG File", quality 100, "Interlaced" checked.
  explicit TSaveAs(QWidget* parent = nullptr,
                   std::function<std::vector<TDrive>()> drives = nullptr);

  // The open folder (absolute, without a trailing "/" except for the root).
  const QString& Folder() const { return folder_; }
  // Opens folder: it becomes the process's current folder, the folder list shows it selected on
  // its drive and the file list shows its files. False, with nothing changed, when it cannot be
  // entered.
  bool ChooseFolder(const QString& folder);
  // Reads the drives again (media come and go), keeping the open folder when it still exists and
  // opening the first drive otherwise. Runs every time the dialog is shown.
  void RefreshDrives();

  TSaveFormat Format() const;
  // The extension a save appends for the chosen format (".jpg", ".bmp", ".gif").
  QString Extension() const;
  // The JPEG quality (the track bar), and the GIF options.
  int Quality() const;
  bool Interlaced() const;
  bool Transparent() const;

  // The controls, for the windows and tests that script them.
  QComboBox& DriveCombo() const { return *drive_combo_; }
  QTreeView& DirList() const { return *dir_list_; }
  QListView& FileList() const { return *file_list_; }
  QFileSystemModel& DirModel() const { return *dir_model_; }
  QFileSystemModel& FileModel() const { return *file_model_; }
  QLabel& FolderLabel() const { return *folder_label_; }
  QLineEdit& Edit1() const { return *edit1_; }
  QLabel& ExtensionLabel() const { return *extension_label_; }
  QComboBox& ComboBox1() const { return *combo_box1_; }
  QStackedWidget& Pages() const { return *pages_; }
  QSlider& TrackBar1() const { return *track_bar1_; }
  QLabel& QualityLabel() const { return *quality_label_; }
  QCheckBox& CheckBox1() const { return *check_box1_; }
  QCheckBox& CheckBox2() const { return *check_box2_; }
  QPushButton& OkButton() const { return *ok_; }
  QPushButton& CancelButton() const { return *cancel_; }
  QPushButton& HelpButton() const { return *help_; }
  const std::vector<TDrive>& Drives() const { return drives_; }

  // Called by the "&Help" button with this dialog's help context.
  std::function<void(int context)> OnHelp;
  // Called with the message when OK is refused because the typed name is a path
  // (SaveNameProblem); the dialog stays open with the name selected.
  std::function<void(const QString& message)> OnRefused;

  // Puts a picture's name (its key) into the file name edit; that text is always taken as it
  // stands, "/" becoming "_" (SaveFileName).
  void ProposeName(const QString& name);
  // SaveNameProblem of the text typed over the proposed name; "" for the proposed name itself and
  // while the edit is disabled (the batch save names its files after the keys).
  QString TypedNameProblem() const;

  // OK: closes with the OK result unless the typed name is refused (see OnRefused).
  void accept() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FormCreate();
  void ChooseFormat();
  void ShowQuality();
  void ShowChosenDrive();
  void OpenFolder(const QModelIndex& index);
  void ShowHelp();
  // Shows drive's folders in the folder list and selects it in the drive selector.
  void ShowDrive(const TDrive& drive);

  std::function<std::vector<TDrive>()> drive_source_;
  std::vector<TDrive> drives_;
  QString folder_;
  QString shown_drive_;
  QString proposed_name_;

  QComboBox* drive_combo_;
  QFileSystemModel* dir_model_;
  QFileSystemModel* file_model_;
  QTreeView* dir_list_;
  QListView* file_list_;
  QLabel* folder_label_;
  QLineEdit* edit1_;
  QLabel* extension_label_;
  QComboBox* combo_box1_;
  QStackedWidget* pages_;
  QSlider* track_bar1_;
  QLabel* quality_label_;
  QCheckBox* check_box1_;
  QCheckBox* check_box2_;
  QPushButton* ok_;
  QPushButton* cancel_;
  QPushButton* help_;
};

}  // namespace sk
