// TPreferences: the modal dialog that edits the preferences kept in the registry (picture
// quality, auto-load at start, language and view style). The main window fills it before showing
// it and reads it back when it closes with OK.
#pragma once

#include <QDialog>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSlider;

namespace sk {

class TPreferences : public QDialog {
  Q_OBJECT

 public:
  explicit TPreferences(QWidget* parent = nullptr);

  // The picture quality, 0..100 (the track bar).
  int Quality() const;
  void SetQuality(int quality);
  // "Auto-Load last opened file?".
  bool AutoStart() const;
  void SetAutoStart(bool on);
  // The language box's text ("English").
  QString Language() const;
  // The view-style radio group's index: 0 "Fit to screen", 1 "Original Size". Any value other
  // than 0 chooses "Original Size", which is what the program does with it.
  int ViewStyle() const;
  void SetViewStyle(int view_style);

  // The controls, for the windows that script them.
  QSlider& TrackBar() const { return *track_bar_; }
  QLabel& QualityLabel() const { return *quality_label_; }
  QCheckBox& AutoLoad() const { return *auto_load_; }
  QComboBox& LanguageBox() const { return *language_; }
  QRadioButton& FitButton() const { return *fit_; }
  QRadioButton& OriginalButton() const { return *original_; }
  QPushButton& HelpButton() const { return *help_; }

  // Called by the "&Help" button with the help context of this dialog.
  std::function<void(int context)> OnHelp;

 protected:
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void ShowQuality();
  void ShowHelp();

  QSlider* track_bar_;
  QLabel* quality_label_;
  QCheckBox* auto_load_;
  QComboBox* language_;
  QRadioButton* fit_;
  QRadioButton* original_;
  QPushButton* help_;
};

}  // namespace sk
