// The preferences dialog.
#include "app/Preferences.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>

#include "app/HelpWindow.h"
#include "app/Messages.h"

namespace sk {

namespace {

QLabel* Heading(const char* text, QWidget* parent) {
  auto* label = new QLabel(QString::fromUtf8(text), parent);
  QFont font = label->font();
  font.setBold(true);
  label->setFont(font);
  return label;
}

}  // namespace

TPreferences::TPreferences(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromUtf8(app_msg::kPreferencesCaption));
  setModal(true);
  // A dialog border without the window's own buttons: it closes through OK or Cancel.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

  track_bar_ = new QSlider(Qt::Horizontal, this);
  track_bar_->setRange(0, 100);
  track_bar_->setSingleStep(1);
  track_bar_->setPageStep(1);
  track_bar_->setTickPosition(QSlider::NoTicks);
  track_bar_->setValue(100);
  quality_label_ = new QLabel(QStringLiteral("100") + QString::fromUtf8(app_msg::kPercent), this);
  QFont bold = quality_label_->font();
  bold.setBold(true);
  quality_label_->setFont(bold);
  quality_label_->setMinimumWidth(quality_label_->fontMetrics().horizontalAdvance(
      QStringLiteral("100") + QString::fromUtf8(app_msg::kPercent)));
  connect(track_bar_, &QSlider::valueChanged, this, [this] { ShowQuality(); });

  auto_load_ = new QCheckBox(QString::fromUtf8(app_msg::kAutoLoad), this);
  language_ = new QComboBox(this);
  language_->addItem(QString::fromUtf8(app_msg::kEnglish));

  auto* view_group = new QGroupBox(QString::fromUtf8(app_msg::kViewStyleGroup), this);
  fit_ = new QRadioButton(QString::fromUtf8(app_msg::kFitToScreen), view_group);
  original_ = new QRadioButton(QString::fromUtf8(app_msg::kOriginalSize), view_group);
  fit_->setChecked(true);
  auto* view_layout = new QVBoxLayout(view_group);
  view_layout->addWidget(fit_);
  view_layout->addWidget(original_);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok =
      buttons->addButton(QString::fromUtf8(app_msg::kOk), QDialogButtonBox::AcceptRole);
  buttons->addButton(QString::fromUtf8(app_msg::kCancel), QDialogButtonBox::RejectRole);
  help_ = buttons->addButton(QString::fromUtf8(app_msg::kHelpButton), QDialogButtonBox::HelpRole);
  ok->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(help_, &QPushButton::clicked, this, [this] { ShowHelp(); });

  auto* grid = new QGridLayout;
  int row = 0;
  grid->addWidget(Heading(app_msg::kDatabasePreferences, this), row++, 0, 1, 2);
  grid->addWidget(new QLabel(QString::fromUtf8(app_msg::kPictureQuality), this), row++, 0, 1, 2);
  grid->addWidget(track_bar_, row, 0);
  grid->addWidget(quality_label_, row++, 1);
  grid->addWidget(Heading(app_msg::kStartupPreferences, this), row++, 0, 1, 2);
  grid->addWidget(auto_load_, row++, 0, 1, 2);
  grid->addWidget(Heading(app_msg::kLanguageOptions, this), row++, 0, 1, 2);
  grid->addWidget(language_, row++, 0, 1, 2);
  grid->addWidget(Heading(app_msg::kViewOptions, this), row++, 0, 1, 2);
  grid->addWidget(view_group, row++, 0, 1, 2);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(buttons);
  setMinimumWidth(320);
}

int TPreferences::Quality() const {
  return track_bar_->value();
}

void TPreferences::SetQuality(int quality) {
  track_bar_->setValue(quality);
}

bool TPreferences::AutoStart() const {
  return auto_load_->isChecked();
}

void TPreferences::SetAutoStart(bool on) {
  auto_load_->setChecked(on);
}

QString TPreferences::Language() const {
  return language_->currentText();
}

int TPreferences::ViewStyle() const {
  return original_->isChecked() ? 1 : 0;
}

void TPreferences::SetViewStyle(int view_style) {
  (view_style == 0 ? fit_ : original_)->setChecked(true);
}

void TPreferences::showEvent(QShowEvent* event) {
  ShowQuality();
  QDialog::showEvent(event);
}

void TPreferences::changeEvent(QEvent* event) {
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) ShowQuality();
  QDialog::changeEvent(event);
}

void TPreferences::ShowQuality() {
  quality_label_->setText(QString::number(track_bar_->value()) +
                          QString::fromUtf8(app_msg::kPercent));
}

void TPreferences::ShowHelp() {
  if (OnHelp) OnHelp(kHelpPreferences);
}

}  // namespace sk
