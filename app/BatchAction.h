// TBatchAction: the selection dialog of the batch commands: a check list of the store's keys with
// "Select All" and "DeSelect All", OK and Cancel. Each command sets the caption and fills the list
// (every item unchecked) before showing it.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QListWidget;
class QPushButton;

namespace sk {

class TBatchAction : public QDialog {
  Q_OBJECT

 public:
  explicit TBatchAction(QWidget* parent = nullptr);

  // Replaces the items by the keys (shown as text), all unchecked.
  void SetKeys(const std::vector<std::string>& keys);
  QListWidget& CheckList1() const { return *check_list_; }
  int Count() const;
  bool Checked(int index) const;
  void SetChecked(int index, bool checked);
  // "Select All" and "DeSelect All".
  void SelectAll();
  void DeselectAll();

 private:
  void CheckAll(bool checked);

  QListWidget* check_list_;
  QPushButton* select_all_;
  QPushButton* deselect_all_;
};

}  // namespace sk
