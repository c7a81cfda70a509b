// The About box.
#include "app/AboutBox.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Messages.h"
#include "app/Prompts.h"
#include "app/ScreenText.h"

namespace sk {

namespace {

QLabel* Link(const QString& href, const QString& shown, const char* hint, QWidget* parent) {
  auto* label = new QLabel(QStringLiteral("<a href=\"%1\">%2</a>").arg(href, shown.toHtmlEscaped()),
                           parent);
  label->setTextFormat(Qt::RichText);
  label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  label->setOpenExternalLinks(false);
  label->setToolTip(Text(hint));
  label->setCursor(Qt::PointingHandCursor);
  return label;
}

}  // namespace

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
  setWindowTitle(Text(app_msg::kAboutCaption));
  setModal(true);
  OpenUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };

  auto* icon = new QLabel(this);
  icon->setPixmap(QIcon(QStringLiteral(":/icons/stillkeep.png")).pixmap(48, 48));
  auto* product = new QLabel(Text(app_msg::kProductName), this);
  QFont big = product->font();
  big.setBold(true);
  big.setPointSizeF(big.pointSizeF() * 1.5);
  product->setFont(big);
  auto* version = new QLabel(Text(app_msg::kVersion), this);
  auto* info = new QLabel(Text(app_msg::kStoreVersionInfo), this);
  version_line_ = new QLabel(this);
  author_line_ = new QLabel(this);
  auto* credits = new QLabel(DisplayText(Text(app_msg::kCredits)), this);
  credits->setWordWrap(true);
  label1_ = Link(Text(app_msg::kHomePage), Text(app_msg::kHomePage), app_msg::kHomePageHint, this);
  label2_ = Link(Text(app_msg::kMailAddress), Text(app_msg::kMailText), app_msg::kMailHint, this);
  connect(label1_, &QLabel::linkActivated, this, [this] { OpenHomePage(); });
  connect(label2_, &QLabel::linkActivated, this, [this] { SendMail(); });

  auto* buttons = new QDialogButtonBox(this);
  ok_ = buttons->addButton(Text(app_msg::kOk), QDialogButtonBox::AcceptRole);
  ok_->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* head = new QGridLayout;
  head->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
  head->addWidget(product, 0, 1);
  head->addWidget(version, 1, 1);
  head->setColumnStretch(1, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(head);
  layout->addSpacing(8);
  layout->addWidget(info);
  layout->addWidget(version_line_);
  layout->addWidget(author_line_);
  layout->addSpacing(8);
  layout->addWidget(credits);
  layout->addWidget(label1_);
  layout->addWidget(label2_);
  layout->addWidget(buttons);
  setMinimumWidth(360);
}

void TAboutBox::SetVersionLines(const QString& version_line, const QString& author_line) {
  version_line_->setText(version_line);
  author_line_->setText(author_line);
}

void TAboutBox::OpenHomePage() {
  if (OpenUrl) OpenUrl(QUrl(Text(app_msg::kHomePage)));
}

void TAboutBox::SendMail() {
  if (OpenUrl) OpenUrl(QUrl(Text(app_msg::kMailAddress)));
}

}  // namespace sk
