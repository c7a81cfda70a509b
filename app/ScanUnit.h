// TScanUnit: the modal dialog that scans a folder, a drive or all disks for picture files with
// the disk scanner and hands the chosen files back to the main window.
#pragma once

#include <QDialog>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

#include "platform/Drives.h"
#include "scan/QMSScanner.h"

class QAction;
class QButtonGroup;
class QComboBox;
class QFileSystemModel;
class QGroupBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QPushButton;
class QTreeView;

namespace sk {

class TScanUnit : public QDialog {
  Q_OBJECT

 public:
  // The search choices of "Search", by index.
  enum TSearch { kDrive = 0, kDirectoryOnly = 1, kDirectoryAndSubs = 2, kAllDisks = 3 };

  // Builds the dialog: "Directory + Subs" chosen, "Stop" and "Add To Database" disabled, the
  // scanner set to the picture masks. tree: where scans read (null: the system's own); drives:
  // the drive selector's list (null: the mount table's browsable drives).
  explicit TScanUnit(QWidget* parent = nullptr, std::shared_ptr<TFileTree> tree = nullptr,
                     std::function<std::vector<TDrive>()> drives = nullptr);
  ~TScanUnit() override;

  // What the caller does before each showing: empties the list and the two counters. Everything
  // else (status, buttons, choice, folder, the scanner's results) stays as it was.
  void ClearForShowing();
  // After the dialog closed with OK: the checked items, full file names, in list order.
  QStringList CheckedFiles() const;

  // The folder a scan starts from (absolute); with "Drive", the mounted file system holding it.
  const QString& Directory() const { return directory_; }
  // Shows folder's drive and selects folder in the folder list; false when it is no folder.
  bool ChooseDirectory(const QString& folder);

  // Handlers: the search choice, "START", "Stop", the list's "Select All" and "DeSelect All",
  // "&Close".
  void ChooseSearch();
  // "START": runs one scan and returns when it has ended. Refused (does nothing) while a scan
  // runs. Pending events are handled after every entry; user input reaches only this dialog.
  void StartScan();
  void StopScan();
  void CheckAll();
  void UncheckAll();
  void CloseScan();

  // Closing during a scan waits for the scan to end, then closes with Cancel.
  void reject() override;

  // The controls, for the windows and tests that script them.
  QComboBox& DriveComboBox1() const { return *drive_combo_; }
  QTreeView& DirBox1() const { return *dir_box_; }
  QFileSystemModel& DirModel() const { return *dir_model_; }
  QGroupBox& RadioGroup1() const { return *radio_group_; }
  QButtonGroup& SearchButtons() const { return *search_buttons_; }
  QListWidget& ToBe() const { return *to_be_; }
  QAction& Selectall1() const { return *select_all_; }
  QAction& DeSelectAll1() const { return *deselect_all_; }
  QLabel& Status() const { return *status_; }
  QPushButton& BitBtn1() const { return *start_; }
  QPushButton& BitBtn2() const { return *stop_; }
  QLabel& FileCounter() const { return *file_counter_; }
  QLabel& SizeCounter() const { return *size_counter_; }
  QPushButton& BitBtn3() const { return *add_; }
  QPushButton& BitBtn4() const { return *close_; }
  TDiskScan& DiskScan1() { return disk_scan_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ShowScanProgress(const std::string& dir, int64_t files_count, uint64_t files_size);
  void ShowMatchTotals(int64_t files_count, uint64_t files_size);
  void ShowCounters(int64_t files_count, uint64_t files_size);
  void ShowChosenDrive();
  void ShowDrive(const TDrive& drive);
  void ToggleEntry(QListWidgetItem* item);

  TDiskScan disk_scan_;
  std::function<std::vector<TDrive>()> drive_source_;
  std::vector<TDrive> drives_;
  QString directory_;
  bool close_requested_ = false;

  QComboBox* drive_combo_;
  QFileSystemModel* dir_model_;
  QTreeView* dir_box_;
  QGroupBox* radio_group_;
  QButtonGroup* search_buttons_;
  QListWidget* to_be_;
  QMenu* popup_menu_;
  QAction* select_all_;
  QAction* deselect_all_;
  QLabel* status_;
  QPushButton* start_;
  QPushButton* stop_;
  QLabel* file_counter_;
  QLabel* size_counter_;
  QPushButton* add_;
  QPushButton* close_;
};

// The counters' texts: "Total files " + count, and " size " + size / 1024 (rounded toward zero)
// + " Kb".
QString FileCounterText(int64_t files_count);
QString SizeCounterText(uint64_t files_size);

}  // namespace sk
