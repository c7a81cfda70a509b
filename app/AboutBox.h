// TAboutBox: the modal box that names the program, its version, the version and author of the
// store it is built on, its makers, and links to the home page and the support address.
#pragma once

#include <QDialog>
#include <QUrl>
#include <functional>

class QLabel;
class QPushButton;

namespace sk {

class TAboutBox : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutBox(QWidget* parent = nullptr);

  // The two runtime lines under "KES Database Version Information: ".
  void SetVersionLines(const QString& version_line, const QString& author_line);

  // Open the home page and write to the mail address through OpenUrl.
  void OpenHomePage();
  void SendMail();

  // Hands an address to the desktop; QDesktopServices::openUrl unless replaced.
  std::function<void(const QUrl&)> OpenUrl;

  QLabel& VersionLine() const { return *version_line_; }
  QLabel& AuthorLine() const { return *author_line_; }
  QLabel& HomePageLink() const { return *label1_; }
  QLabel& MailLink() const { return *label2_; }
  QPushButton& OkButton() const { return *ok_; }

 private:
  QLabel* version_line_;
  QLabel* author_line_;
  QLabel* label1_;
  QLabel* label2_;
  QPushButton* ok_;
};

}  // namespace sk
