// Tests of the scan dialog: its start state and search choices, a scan's labels and check list,
// Stop and Esc during a scan, input to other windows held off, closing during a scan, and what
// the caller gets back.
#include <gtest/gtest.h>

#include <QButtonGroup>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <memory>

#include "app/ScanUnit.h"
#include "tests/app/AppTestSupport.h"

namespace sk::test {
namespace {

// Queues a left click on button, as the window system would deliver it.
void PostClick(QPushButton& button) {
  const QPointF centre = QRectF(button.rect()).center();
  const QPointF global = button.mapToGlobal(centre);
  for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
    QCoreApplication::postEvent(
        &button, new QMouseEvent(type, centre, global, Qt::LeftButton,
                                 type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                 Qt::NoModifier));
  }
}

void PostKey(QWidget& widget, int key) {
  QCoreApplication::postEvent(&widget, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier));
  QCoreApplication::postEvent(&widget, new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier));
}

class ScanUnitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.isValid());
    root_ = QDir(folder_.path()).canonicalPath();
    dialog_ = std::make_unique<TScanUnit>(nullptr, nullptr, [] {
      return std::vector<TDrive>{{"/", TDriveKind::kRoot}};
    });
  }
  void Write(const QString& name, qint64 size) {
    QDir(root_).mkpath(QFileInfo(root_ + "/" + name).path());
    QFile file(root_ + "/" + name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(size, 'x'));
  }
  QStringList Items() const {
    QStringList items;
    for (int row = 0; row < dialog_->ToBe().count(); ++row) {
      items.push_back(dialog_->ToBe().item(row)->text());
    }
    return items;
  }
  int CheckedCount() const { return static_cast<int>(dialog_->CheckedFiles().size()); }
  // Scans root_ with the given search choice, by clicking it and "START".
  void Scan(int search = TScanUnit::kDirectoryAndSubs) {
    ASSERT_TRUE(dialog_->ChooseDirectory(root_));
    dialog_->SearchButtons().button(search)->click();
    dialog_->BitBtn1().click();
  }

  QTemporaryDir folder_;
  QString root_;
  std::unique_ptr<TScanUnit> dialog_;
};

TEST_F(ScanUnitTest, StartsWithDirectoryAndSubsAndOnlyStartAndCloseEnabled) {
  TScanUnit& d = *dialog_;
  EXPECT_EQ(d.windowTitle(), "Scanning a drive for files");
  EXPECT_EQ(d.size(), QSize(300, 343));
  EXPECT_EQ(d.SearchButtons().checkedId(), TScanUnit::kDirectoryAndSubs);
  EXPECT_EQ(d.SearchButtons().button(0)->text(), "Drive");
  EXPECT_EQ(d.SearchButtons().button(3)->text(), "All Disks");
  EXPECT_TRUE(d.BitBtn1().isEnabled());
  EXPECT_TRUE(d.BitBtn1().isDefault());
  EXPECT_FALSE(d.BitBtn2().isEnabled());
  EXPECT_FALSE(d.BitBtn3().isEnabled());
  EXPECT_TRUE(d.BitBtn4().isEnabled());
  EXPECT_EQ(d.BitBtn3().text(), "Add To Database");
  EXPECT_EQ(d.BitBtn4().text(), "&Close");
  EXPECT_EQ(d.ToBe().toolTip(), "Right-Click me for options");
  EXPECT_EQ(d.DiskScan1().FileMask(), "*.bmp, *.jpg, *.jpeg, *.gif, *.tiff");
  EXPECT_EQ(d.DiskScan1().ScanOptions(), TScanOptions::kSpecifiedDir);
  EXPECT_TRUE(d.DiskScan1().DoRecursive());
}

TEST_F(ScanUnitTest, EachSearchChoiceSetsTheScanner) {
  const struct {
    int search;
    TScanOptions options;
    bool recursive;
  } cases[] = {
      {TScanUnit::kDirectoryOnly, TScanOptions::kSpecifiedDir, false},
      {TScanUnit::kDrive, TScanOptions::kSpecifiedDisk, true},
      {TScanUnit::kAllDisks, TScanOptions::kAllDisks, true},
      {TScanUnit::kDirectoryAndSubs, TScanOptions::kSpecifiedDir, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.search);
    dialog_->SearchButtons().button(c.search)->click();
    EXPECT_EQ(dialog_->DiskScan1().ScanOptions(), c.options);
    EXPECT_EQ(dialog_->DiskScan1().DoRecursive(), c.recursive);
  }
}

TEST_F(ScanUnitTest, CountersShowWholeKilobytesRoundedDown) {
  const struct {
    uint64_t size;
    const char* text;
  } cases[] = {{0, " size 0 Kb"},
               {1023, " size 0 Kb"},
               {1536, " size 1 Kb"},
               {5ull << 30, " size 5242880 Kb"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    EXPECT_EQ(SizeCounterText(c.size), c.text);
  }
  EXPECT_EQ(FileCounterText(3000000000), "Total files 3000000000");
}

TEST_F(ScanUnitTest, AScanThatFindsNothingLeavesAddDisabled) {
  Write("notes.txt", 10);
  Scan();
  EXPECT_EQ(dialog_->Status().text(), "Done Scanning");
  EXPECT_EQ(dialog_->FileCounter().text(), "Total files 0");
  EXPECT_EQ(dialog_->SizeCounter().text(), " size 0 Kb");
  EXPECT_FALSE(dialog_->BitBtn3().isEnabled());
  EXPECT_FALSE(dialog_->BitBtn2().isEnabled());
  EXPECT_EQ(dialog_->ToBe().count(), 0);
}

TEST_F(ScanUnitTest, FoundFilesAreListedSortedAndCheckedAndOnlyCheckedOnesGoBack) {
  Write("b/Zebra.GIF", 512);
  Write("a.jpg", 1000);
  Write("b/apple.bmp", 24);
  Write("C.tiff", 0);
  Write("skip.tif", 5000);
  Scan();
  EXPECT_EQ(dialog_->FileCounter().text(), "Total files 4");
  EXPECT_EQ(dialog_->SizeCounter().text(), " size 1 Kb");  // 1536 bytes
  EXPECT_EQ(Items(), (QStringList{root_ + "/a.jpg", root_ + "/b/apple.bmp", root_ + "/b/Zebra.GIF",
                                  root_ + "/C.tiff"}));
  EXPECT_EQ(CheckedCount(), 4);
  EXPECT_EQ(dialog_->ToBe().sizeHintForRow(0), 16);
  EXPECT_TRUE(dialog_->BitBtn3().isEnabled());
  EXPECT_FALSE(dialog_->BitBtn2().isEnabled());

  // A click anywhere on an item toggles it.
  emit dialog_->ToBe().itemClicked(dialog_->ToBe().item(1));
  emit dialog_->ToBe().itemClicked(dialog_->ToBe().item(3));
  emit dialog_->ToBe().itemClicked(dialog_->ToBe().item(3));
  EXPECT_EQ(dialog_->CheckedFiles(),
            (QStringList{root_ + "/a.jpg", root_ + "/b/Zebra.GIF", root_ + "/C.tiff"}));
  dialog_->DeSelectAll1().trigger();
  EXPECT_EQ(CheckedCount(), 0);
  dialog_->Selectall1().trigger();
  EXPECT_EQ(CheckedCount(), 4);
  emit dialog_->ToBe().itemClicked(dialog_->ToBe().item(0));
  dialog_->show();
  dialog_->BitBtn3().click();
  EXPECT_EQ(dialog_->result(), QDialog::Accepted);
  EXPECT_FALSE(dialog_->isVisible());
  EXPECT_EQ(dialog_->CheckedFiles(),
            (QStringList{root_ + "/b/apple.bmp", root_ + "/b/Zebra.GIF", root_ + "/C.tiff"}));

  // The next showing: list and counters emptied by the caller, the rest as it was.
  dialog_->ClearForShowing();
  EXPECT_EQ(dialog_->ToBe().count(), 0);
  EXPECT_EQ(dialog_->FileCounter().text(), "");
  EXPECT_EQ(dialog_->SizeCounter().text(), "");
  EXPECT_EQ(dialog_->Status().text(), "Done Scanning");
  EXPECT_TRUE(dialog_->BitBtn3().isEnabled());
}

TEST_F(ScanUnitTest, DirectoryOnlyListsAMatchingFolderButNotWhatIsInIt) {
  Write("Holiday.jpg/in.jpg", 1);
  Write("top.gif", 1);
  Scan(TScanUnit::kDirectoryOnly);
  EXPECT_EQ(Items(), (QStringList{root_ + "/Holiday.jpg", root_ + "/top.gif"}));
}

TEST_F(ScanUnitTest, StopAndEscEndAScanWithTheTotalsReachedAndItsFindsListed) {
  for (int i = 0; i < 40; ++i) Write(QStringLiteral("p%1.jpg").arg(i), 100);
  dialog_->show();
  for (const bool by_key : {false, true}) {
    SCOPED_TRACE(by_key ? "Esc" : "Stop");
    // Delivered by the scanner's pumping, after the first entry.
    if (by_key) {
      PostKey(*dialog_, Qt::Key_Escape);
    } else {
      PostClick(dialog_->BitBtn2());
    }
    Scan();
    const int64_t found = dialog_->DiskScan1().FilesCount();
    EXPECT_GE(found, 1);
    EXPECT_LT(found, 40);
    EXPECT_EQ(dialog_->Status().text(), "Done Scanning");
    EXPECT_EQ(dialog_->FileCounter().text(), FileCounterText(found));
    EXPECT_EQ(dialog_->SizeCounter().text(), SizeCounterText(static_cast<uint64_t>(found) * 100));
    EXPECT_EQ(dialog_->ToBe().count(), found);
    EXPECT_EQ(CheckedCount(), found);
    EXPECT_FALSE(dialog_->BitBtn2().isEnabled());
    EXPECT_TRUE(dialog_->isVisible());  // Esc stops; it does not close the dialog
  }
  // With nothing to stop, Esc does nothing.
  PostKey(*dialog_, Qt::Key_Escape);
  QCoreApplication::processEvents();
  EXPECT_TRUE(dialog_->isVisible());
}

TEST_F(ScanUnitTest, EnterPressesStart) {
  Write("x.jpg", 1);
  ASSERT_TRUE(dialog_->ChooseDirectory(root_));
  dialog_->show();
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QCoreApplication::sendEvent(dialog_.get(), &enter);
  EXPECT_EQ(Items(), QStringList{root_ + "/x.jpg"});
}

TEST_F(ScanUnitTest, DuringAScanOtherWindowsGetNoInputAndStartAndCloseWait) {
  for (int i = 0; i < 20; ++i) Write(QStringLiteral("p%1.jpg").arg(i), 1);
  QWidget other;
  auto* other_button = new QPushButton("elsewhere", &other);
  other.show();
  int other_clicks = 0;
  QObject::connect(other_button, &QPushButton::clicked, [&] { ++other_clicks; });
  int scans = 0;
  const TOnChangedEvent changed = dialog_->DiskScan1().OnChanged;
  dialog_->DiskScan1().OnChanged = [&](TDiskScan& sender, int64_t count, uint64_t size) {
    ++scans;
    changed(sender, count, size);
  };
  dialog_->show();
  PostClick(*other_button);
  PostClick(dialog_->BitBtn1());  // a second start inside the running scan is refused
  PostClick(dialog_->BitBtn4());  // "&Close" waits for the end of the scan
  Scan();
  EXPECT_EQ(other_clicks, 0);
  EXPECT_EQ(scans, 1);
  EXPECT_EQ(dialog_->DiskScan1().FilesCount(), 20);  // not stopped
  EXPECT_EQ(dialog_->ToBe().count(), 20);
  EXPECT_FALSE(dialog_->isVisible());
  EXPECT_EQ(dialog_->result(), QDialog::Rejected);
  // Once the scan has ended, other windows get their input again.
  PostClick(*other_button);
  QCoreApplication::processEvents();
  EXPECT_EQ(other_clicks, 1);
}

}  // namespace
}  // namespace sk::test
