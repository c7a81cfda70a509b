// The batch and store commands through the window, with scripted answers: batch add, delete and
// save, the progress window, password, pack and kill.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QButtonGroup>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QProgressBar>
#include <QSplitter>
#include <QUrl>
#include <algorithm>
#include <chrono>

#include "app/BatchAction.h"
#include "app/Messages.h"
#include "app/PasswordDlg.h"
#include "app/QMSProgress.h"
#include "app/RefreshThrottle.h"
#include "app/SaveAs.h"
#include "app/ScanUnit.h"
#include "imaging/InvalidGraphic.h"
#include "tests/app/PictureWorkflowTest.h"
#include "view/Image.h"

namespace sk::test {
namespace {

using BatchCommandsTest = TPictureWorkflowTest;

std::vector<std::string> Sorted(std::vector<std::string> keys) {
  std::sort(keys.begin(), keys.end());
  return keys;
}

// A dialog script that checks the items at the given rows of the batch dialog and presses OK.
TScriptedPrompts::TDialogScript CheckRows(std::vector<int> rows) {
  return [rows](QDialog& dialog) {
    auto& batch = dynamic_cast<TBatchAction&>(dialog);
    for (int i = 0; i < batch.Count(); ++i) EXPECT_FALSE(batch.Checked(i));
    for (int row : rows) batch.SetChecked(row, true);
    return static_cast<int>(QDialog::Accepted);
  };
}

TEST_F(BatchCommandsTest, ABatchIsAddedLastFileFirstAndRepeatedNamesAreNumbered) {
  TMainForm& form = OpenStore({});
  const QStringList files = {WriteJpeg(QStringLiteral("one.jpg"), 0x101010),
                             WriteJpeg(QStringLiteral("two.jpg"), 0x808080),
                             WriteJpeg(QStringLiteral("three.jpg"), 0xF0F0F0)};
  std::vector<std::string> added_order;
  form.KES().OnAdded = [&added_order](TKES& store) { added_order.push_back(store.CurrentKey()); };
  prompts_.QueueOpenPictures(files);
  form.AddPictures();
  EXPECT_EQ(added_order, (std::vector<std::string>{"three", "two", "one"}));
  EXPECT_EQ(SelectedText(form.KeyList()), QStringLiteral("one"));
  // The view shows the last file added.
  EXPECT_TRUE(NearColour(CentreColour(form.Image().Bitmap()), 0x101010));
  for (const char* expected : {"one (1)", "one (2)"}) {
    prompts_.QueueOpenPictures({files[0]});
    form.AddPictures();
    EXPECT_EQ(SelectedText(form.KeyList()), QString::fromUtf8(expected));
  }
  EXPECT_TRUE(prompts_.Errors().empty());
  EXPECT_FALSE(form.QMS().Shown());
  EXPECT_TRUE(form.isEnabled());
}

// Counts the paint events of the object it filters.
class TPaintCounter : public QObject {
 public:
  int paints = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return QObject::eventFilter(watched, event);
  }
};

TEST(RefreshThrottleTest, AtMostOneRefreshPerFrameOnTheGivenClock) {
  using namespace std::chrono_literals;
  TRefreshThrottle::TTime now{};
  TRefreshThrottle throttle([&now] { return now; });
  const struct {
    std::chrono::milliseconds advance;
    bool due;
  } steps[] = {{0ms, true},   {0ms, false}, {15ms, false}, {1ms, true},
               {10ms, false}, {10ms, true}, {100ms, true}, {16ms, true}};
  for (const auto& step : steps) {
    now += step.advance;
    EXPECT_EQ(throttle.Due(), step.due) << now.time_since_epoch().count();
  }
}

TEST_F(BatchCommandsTest, AManyFileBatchRefreshesTheListPerFrameAndEndsAsDescribed) {
  TMainForm& form = OpenStore({{"kept", 8, 8, 0x102030}});
  constexpr int kFiles = 48;
  // Two batches of the same files (the second under numbered keys) on a clock that moves one
  // millisecond each time it is read (quick adds) or a whole frame (slow adds, which refresh
  // the list for every file: the measure's control).
  const struct {
    const char* name;
    std::chrono::milliseconds tick;
    int fewest_paints;
    int most_paints;
  } cases[] = {
      {"quick adds", std::chrono::milliseconds(1), 1, 8},
      {"slow adds", std::chrono::milliseconds(16), kFiles / 2, 4 * kFiles},
  };
  QStringList files;
  for (int i = 0; i < kFiles; ++i) {
    const QString name = QStringLiteral("p%1").arg(i, 2, 10, QLatin1Char('0'));
    files.append(WriteJpeg(name + QStringLiteral(".jpg"), 0x101010 * (i % 15), 8, 8));
  }
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TRefreshThrottle::TTime now{};
    form.SetBatchRefreshClock([&now, tick = c.tick] { return now += tick; });
    TPaintCounter list_paints;
    form.KeyList().viewport()->installEventFilter(&list_paints);
    prompts_.QueueOpenPictures(files);
    form.AddPictures();
    form.KeyList().viewport()->removeEventFilter(&list_paints);
    EXPECT_GE(list_paints.paints, c.fewest_paints);
    EXPECT_LE(list_paints.paints, c.most_paints);
    // The end is as without the throttle: every key listed in the store's order, the last file
    // (the first in the list) selected and shown.
    std::vector<std::string> listed;
    for (int row = 0; row < form.KeyList().count(); ++row) {
      listed.emplace_back(form.KeyList().Key(row));
    }
    TStringList in_store;
    form.KES().GetKeys(in_store);
    EXPECT_EQ(listed, in_store.TakeItems());
    EXPECT_TRUE(NearColour(CentreColour(form.Image().Bitmap()), 0x000000));
  }
  EXPECT_EQ(form.KeyList().count(), 1 + 2 * kFiles);
  EXPECT_EQ(SelectedText(form.KeyList()), QStringLiteral("p00 (1)"));
  EXPECT_TRUE(prompts_.Errors().empty());
}

TEST_F(BatchCommandsTest, ADamagedFileEndsTheBatchWithTheReadersMessage) {
  TMainForm& form = OpenStore({});
  const QString broken = Path(QStringLiteral("two.gif"));
  QFile file(broken);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("GIF89a\x01");
  file.close();
  prompts_.QueueOpenPictures({WriteJpeg(QStringLiteral("one.jpg")), broken,
                              WriteJpeg(QStringLiteral("three.jpg"), 0xF0F0F0)});
  form.AddPictures();
  EXPECT_EQ(Keys(), std::vector<std::string>{"three"});
  ASSERT_EQ(prompts_.Errors().size(), 1u);
  EXPECT_EQ(prompts_.Errors().front(), QString::fromUtf8(kUnrecognizedGif));
  EXPECT_FALSE(form.QMS().Shown());
  EXPECT_TRUE(form.isEnabled());
  EXPECT_TRUE(NearColour(CentreColour(form.Image().Bitmap()), 0xF0F0F0));
}

TEST_F(BatchCommandsTest, BatchDeleteDeletesTheCheckedKeysOnlyAfterYes) {
  struct TCase {
    const char* name;
    std::vector<int> checked;
    TMsgDlgBtn answer;
    std::vector<std::string> left;
  };
  const TCase cases[] = {
      {"nothing checked", {}, TMsgDlgBtn::kYes, {"a", "b", "c"}},
      {"answered No", {0, 2}, TMsgDlgBtn::kNo, {"a", "b", "c"}},
      {"two checked", {0, 2}, TMsgDlgBtn::kYes, {"b"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TMainForm& form = OpenStore({{"a"}, {"b"}, {"c"}});
    ClickRow(2);
    prompts_.QueueDialog(CheckRows(c.checked));
    prompts_.QueueButton(c.answer);
    form.DeletePictures();
    EXPECT_EQ(Sorted(Keys()), c.left);
    EXPECT_EQ(ListTexts(form.KeyList()).size(), static_cast<int>(c.left.size()));
    // Refreshed, and the first key selected and shown, whatever the answer.
    EXPECT_EQ(form.KeyList().currentRow(), 0);
    EXPECT_EQ(form.PositionPanel().text(),
              QStringLiteral("1 out of %1").arg(static_cast<int>(c.left.size())));
    DestroyForm();
    QFile::remove(store_);
  }
}

TEST_F(BatchCommandsTest, BatchSaveWritesTheCheckedKeysInTheChosenFormatAndFolder) {
  TMainForm& form = OpenStore({{"blue", 8, 8, 0x0000FF}, {"green"}, {"red", 8, 8, 0xFF0000}});
  QDir().mkpath(Path(QStringLiteral("out")));
  const QString out = Path(QStringLiteral("out"));
  const QStringList keys = ListTexts(form.KeyList());
  const int blue = static_cast<int>(keys.indexOf(QStringLiteral("blue")));
  const int red = static_cast<int>(keys.indexOf(QStringLiteral("red")));
  prompts_.QueueDialog(CheckRows({blue, red}));
  prompts_.QueueDialog([out](QDialog& dialog) {
    auto& save = dynamic_cast<TSaveAs&>(dialog);
    EXPECT_FALSE(save.Edit1().isEnabled());  // names come from the keys
    save.ComboBox1().setCurrentIndex(1);     // "BMP File"
    EXPECT_TRUE(save.ChooseFolder(out));
    return static_cast<int>(QDialog::Accepted);
  });
  form.SavePictures();
  EXPECT_TRUE(prompts_.Errors().empty());
  QStringList written = QDir(out).entryList(QDir::Files);
  written.sort();
  EXPECT_EQ(written, (QStringList{QStringLiteral("blue.bmp"), QStringLiteral("red.bmp")}));
  QFile bmp(out + QStringLiteral("/red.bmp"));
  ASSERT_TRUE(bmp.open(QIODevice::ReadOnly));
  EXPECT_EQ(bmp.read(2), QByteArray("BM"));
  EXPECT_TRUE(form.SaveAs().Edit1().isEnabled());
  EXPECT_EQ(form.KeyList().currentRow(), 0);
}

TEST_F(BatchCommandsTest, TheProgressWindowFollowsItsPropertiesAsDescribed) {
  TMainForm& form = MakeForm();
  TQMSProgress& qms = form.QMS();
  qms.SetPosition(5);  // before Show: nothing
  EXPECT_FALSE(qms.Shown());
  qms.SetFilename(QStringLiteral("before"));
  qms.Show();
  TFProgress* window = qms.Window();
  ASSERT_NE(window, nullptr);
  qms.Show();  // a second Show makes no second window
  EXPECT_EQ(qms.Window(), window);
  EXPECT_FALSE(form.isEnabled());
  // Rows start empty; setters change the window but not the property.
  EXPECT_EQ(window->FileRow().text(), QString());
  qms.SetFilename(QStringLiteral("shown"));
  EXPECT_EQ(window->FileRow().text(), QStringLiteral("shown"));
  EXPECT_EQ(qms.Filename(), QStringLiteral("before"));
  EXPECT_EQ(window->height(), 64);  // Progress is off: no gauge row
  EXPECT_TRUE(window->GaugeRow().isHidden());
  qms.Close();
  qms.Close();  // harmless
  EXPECT_FALSE(qms.Shown());
  EXPECT_TRUE(form.isEnabled());

  qms.SetProgress(true);
  qms.Show();
  EXPECT_EQ(qms.Window()->height(), 81);
  EXPECT_FALSE(qms.Window()->GaugeRow().isHidden());
  // Off while shown hides the row, keeps the height, and the property stays on.
  qms.SetProgress(false);
  EXPECT_TRUE(qms.Window()->GaugeRow().isHidden());
  EXPECT_EQ(qms.Window()->height(), 81);
  qms.Close();
  EXPECT_TRUE(qms.Progress());
}

// A dialog script that types text into the password dialog and presses OK (or Cancel).
TScriptedPrompts::TDialogScript TypePassword(const QString& text, QString* label = nullptr,
                                             bool ok = true) {
  return [=](QDialog& dialog) {
    auto& password = dynamic_cast<TPasswordDlg&>(dialog);
    if (label != nullptr) *label = password.Label().text();
    EXPECT_TRUE(password.Edit().text().isEmpty());
    password.Edit().setText(text);
    return static_cast<int>(ok ? QDialog::Accepted : QDialog::Rejected);
  };
}

TEST_F(BatchCommandsTest, APasswordIsSetOnlyWhenBothEntriesMatch) {
  TMainForm& form = OpenStore({{"a"}});
  form.KES().KeyCost = MinimumKeyCost();
  // Cancelling the first entry changes nothing, not even the label.
  prompts_.QueueDialog(TypePassword(QStringLiteral("x"), nullptr, false));
  form.ChangePassword();
  EXPECT_EQ(form.PasswordDlg().Label().text(), QStringLiteral("Enter password:"));
  EXPECT_TRUE(form.KES().Password.empty());

  QString second_label;
  prompts_.QueueDialog(TypePassword(QStringLiteral("caf\u00e9")));
  prompts_.QueueDialog(TypePassword(QStringLiteral("Caf\u00e9"), &second_label));
  form.ChangePassword();
  EXPECT_EQ(second_label, QStringLiteral("Re-enter your password"));
  ASSERT_EQ(prompts_.Messages().size(), 1u);
  EXPECT_EQ(prompts_.Messages().back(), QStringLiteral("Passwords didn't match!!"));
  EXPECT_TRUE(form.KES().Password.empty());
  EXPECT_EQ(form.PasswordDlg().Label().text(), QStringLiteral("Enter your password"));

  prompts_.QueueDialog(TypePassword(QStringLiteral("caf\u00e9")));
  prompts_.QueueDialog(TypePassword(QStringLiteral("caf\u00e9")));
  form.ChangePassword();
  EXPECT_EQ(form.KES().Password, "caf\xE9");
  // The store is written protected: it opens again only with the password.
  form.CloseCurrentStore();
  prompts_.QueueDialog(TypePassword(QStringLiteral("caf\u00e9")));
  OpenThroughDialog(store_);
  EXPECT_EQ(form.KeyList().count(), 1);
}

TEST_F(BatchCommandsTest, APasswordProtectsStronglyUnlessTheUserChoosesTheLegacyCipher) {
  TMainForm& form = OpenStore({{"a"}});
  for (const bool strong : {true, false}) {
    SCOPED_TRACE(strong ? "strong" : "legacy");
    form.KES().KeyCost = MinimumKeyCost();
    bool offered = false, checked = false;
    prompts_.QueueDialog([&](QDialog& dialog) {
      auto& password = dynamic_cast<TPasswordDlg&>(dialog);
      offered = !password.StrongBox().isHidden();
      checked = password.StrongBox().isChecked();
      password.StrongBox().setChecked(strong);
      password.Edit().setText(QStringLiteral("pw"));
      return static_cast<int>(QDialog::Accepted);
    });
    prompts_.QueueDialog(TypePassword(QStringLiteral("pw")));
    form.ChangePassword();
    EXPECT_TRUE(offered);
    EXPECT_TRUE(checked) << "strong is the default whenever a password is set";
    EXPECT_TRUE(form.PasswordDlg().StrongBox().isHidden()) << "the open question has no choice";
    form.CloseCurrentStore();
    QFile container(store_);
    ASSERT_TRUE(container.open(QIODevice::ReadOnly));
    EXPECT_EQ(container.read(4), strong ? QByteArray("SKV\0", 4) : QByteArray("KES\0", 4));
    prompts_.QueueDialog(TypePassword(QStringLiteral("pw")));
    OpenThroughDialog(store_);
    EXPECT_EQ(form.KES().Protection(), strong ? TProtection::kStrong : TProtection::kLegacy);
    EXPECT_EQ(form.KeyList().count(), 1);
  }
}

TEST_F(BatchCommandsTest, KillNeedsBothConfirmationsAndTakesTheStoreOffTheRecentFiles) {
  struct TCase {
    const char* name;
    std::vector<TMsgDlgBtn> answers;
    bool killed;
  };
  const TCase cases[] = {
      {"No to the first question", {TMsgDlgBtn::kNo}, false},
      {"Cancel to the second", {TMsgDlgBtn::kYes, TMsgDlgBtn::kCancel}, false},
      {"both agreed", {TMsgDlgBtn::kYes, TMsgDlgBtn::kOk}, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TMainForm& form = OpenStore({{"a"}});
    const QString path = QFileInfo(store_).absoluteFilePath();
    for (TMsgDlgBtn answer : c.answers) prompts_.QueueButton(answer);
    form.Kill();
    EXPECT_EQ(QFile::exists(path), !c.killed);
    EXPECT_EQ(form.StoreOpen(), !c.killed);
    EXPECT_EQ(form.MRU().Items().contains(path), !c.killed);
    EXPECT_EQ(RegistryRecentFiles().contains(path), !c.killed);
    if (c.killed) {
      EXPECT_EQ(form.KeyList().count(), 0);
      EXPECT_FALSE(form.Action(TCommand::kDeleteButton).isEnabled());
    }
    DestroyForm();
    QFile::remove(store_);
  }
}

TEST_F(BatchCommandsTest, PackKeepsEveryKeyAndPicture) {
  TMainForm& form = OpenStore({{"a", 8, 8, 0x102030}, {"b"}, {"c", 8, 8, 0x302010}});
  ClickRow(1);
  prompts_.QueueButton(TMsgDlgBtn::kYes);
  form.DeletePicture();
  const qint64 before = form.KES().DataSize();
  form.Pack();
  EXPECT_TRUE(prompts_.Errors().empty());
  EXPECT_LT(form.KES().DataSize(), before);
  EXPECT_EQ(Sorted(Keys()), (std::vector<std::string>{"a", "c"}));
  ClickRow(static_cast<int>(ListTexts(form.KeyList()).indexOf(QStringLiteral("c"))));
  EXPECT_TRUE(NearColour(CentreColour(form.Image().Bitmap()), 0x302010));
}

}  // namespace
}  // namespace sk::test

namespace sk::test {
namespace {

// A dialog script that scans folder (no subfolders), leaves only the entries at the given rows
// checked, and presses OK.
TScriptedPrompts::TDialogScript ScanAndKeep(QString folder, std::vector<int> keep) {
  return [folder, keep](QDialog& dialog) {
    auto& scan = dynamic_cast<TScanUnit&>(dialog);
    EXPECT_EQ(scan.ToBe().count(), 0);  // cleared before it is shown
    EXPECT_TRUE(scan.ChooseDirectory(folder));
    scan.SearchButtons().button(TScanUnit::kDirectoryOnly)->click();
    scan.StartScan();
    for (int row = 0; row < scan.ToBe().count(); ++row) {
      const bool checked = std::find(keep.begin(), keep.end(), row) != keep.end();
      scan.ToBe().item(row)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    }
    return static_cast<int>(QDialog::Accepted);
  };
}

TEST_F(BatchCommandsTest, AScanAddStoresTheCheckedFilesAndLeavesTheGaugePropertyOn) {
  struct TCase {
    const char* name;
    std::vector<const char*> files;
    std::vector<int> checked;
    std::vector<std::string> stored;
  };
  const TCase cases[] = {
      {"one checked file", {"alone.jpg"}, {0}, {"alone"}},
      {"only the last of three", {"a.jpg", "b.jpg", "c.jpg"}, {2}, {"c"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TMainForm& form = OpenStore({});
    const QString folder = Path(QStringLiteral("scan-%1").arg(c.files.size()));
    QDir().mkpath(folder);
    for (const char* file : c.files)
      WriteJpeg(QStringLiteral("scan-%1/%2").arg(c.files.size()).arg(QString::fromUtf8(file)));
    prompts_.QueueDialog(ScanAndKeep(folder, c.checked));
    form.AddScannedPictures();
    EXPECT_TRUE(prompts_.Errors().empty());
    EXPECT_EQ(Keys(), c.stored);
    EXPECT_EQ(SelectedText(form.KeyList()), QString::fromStdString(c.stored.back()));
    EXPECT_TRUE(form.QMS().Progress());
    EXPECT_FALSE(form.QMS().Shown());
    EXPECT_TRUE(form.isEnabled());
    DestroyForm();
    QFile::remove(store_);
  }
}

}  // namespace
}  // namespace sk::test

namespace sk::test {
namespace {

TEST_F(BatchCommandsTest, QuestionsWhoseYesLosesSomethingDefaultToTheSafeAnswer) {
  TMainForm& form = OpenStore({{"a"}, {"b"}, {"c"}});
  ClickRow(0);
  prompts_.ClearRecord();
  prompts_.QueueButton(TMsgDlgBtn::kNo);
  form.DeletePicture();
  prompts_.QueueDialog(CheckRows({0}));
  prompts_.QueueButton(TMsgDlgBtn::kNo);
  form.DeletePictures();
  prompts_.QueueButton(TMsgDlgBtn::kYes);
  prompts_.QueueButton(TMsgDlgBtn::kCancel);
  form.Kill();
  int questions = 0;
  for (const auto& asked : prompts_.Asked()) {
    if (asked.kind != TScriptedPrompts::TAsked::Kind::kMessage) continue;
    ++questions;
    EXPECT_EQ(asked.which_default, TMsgDlgDefault::kSafe) << asked.text.toStdString();
  }
  EXPECT_EQ(questions, 4);
  EXPECT_TRUE(form.StoreOpen());
  EXPECT_EQ(Keys().size(), 3u);
}

}  // namespace
}  // namespace sk::test

namespace sk::test {
namespace {

QByteArray FileBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteText(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

// A dialog script that saves as BMP into folder.
TScriptedPrompts::TDialogScript SaveAsBmpInto(QString folder) {
  return [folder](QDialog& dialog) {
    auto& save = dynamic_cast<TSaveAs&>(dialog);
    save.ComboBox1().setCurrentIndex(1);
    EXPECT_TRUE(save.ChooseFolder(folder));
    return static_cast<int>(QDialog::Accepted);
  };
}

TEST_F(BatchCommandsTest, ASaveOntoAnExistingFileAsksAndNoKeepsIt) {
  TMainForm& form = OpenStore({{"holiday", 8, 8, 0xFF0000}});
  const QString out = Path(QStringLiteral("out"));
  QDir().mkpath(out);
  const QString target = out + QStringLiteral("/holiday.bmp");
  WriteText(target, "the photo from last year");
  for (TMsgDlgBtn answer : {TMsgDlgBtn::kNo, TMsgDlgBtn::kYes}) {
    SCOPED_TRACE(static_cast<int>(answer));
    prompts_.ClearRecord();
    prompts_.QueueDialog(SaveAsBmpInto(out));
    prompts_.QueueButton(answer);
    form.SavePicture();
    ASSERT_EQ(prompts_.Messages().size(), 1u);
    EXPECT_TRUE(prompts_.Messages().front().contains(target));
    EXPECT_EQ(prompts_.Asked().back().which_default, TMsgDlgDefault::kSafe);
    EXPECT_EQ(FileBytes(target) == "the photo from last year", answer == TMsgDlgBtn::kNo);
  }
  EXPECT_EQ(FileBytes(target).left(2), QByteArray("BM"));
}

TEST_F(BatchCommandsTest, ABatchSaveAsksOnceForTheFilesThatExist) {
  struct TCase {
    TMsgDlgBtn answer;
    bool red_written;
    bool blue_replaced;
  };
  const TCase cases[] = {{TMsgDlgBtn::kNo, true, false},
                         {TMsgDlgBtn::kCancel, false, false},
                         {TMsgDlgBtn::kYes, true, true}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.answer));
    TMainForm& form = OpenStore({{"blue", 8, 8, 0x0000FF}, {"red", 8, 8, 0xFF0000}});
    const QString out = Path(QStringLiteral("batch-out"));
    QDir(out).removeRecursively();
    QDir().mkpath(out);
    WriteText(out + QStringLiteral("/blue.bmp"), "kept");
    prompts_.ClearRecord();
    prompts_.QueueDialog(CheckRows({0, 1}));
    prompts_.QueueDialog(SaveAsBmpInto(out));
    prompts_.QueueButton(c.answer);
    form.SavePictures();
    ASSERT_EQ(prompts_.Messages().size(), 1u);
    EXPECT_TRUE(prompts_.Messages().front().startsWith(QStringLiteral("1 of the files")));
    EXPECT_EQ(QFile::exists(out + QStringLiteral("/red.bmp")), c.red_written);
    EXPECT_EQ(FileBytes(out + QStringLiteral("/blue.bmp")) != "kept", c.blue_replaced);
    DestroyForm();
    QFile::remove(store_);
  }
}

}  // namespace
}  // namespace sk::test

namespace sk::test {
namespace {

// Drops local files onto widget as a file manager does.
void DropOnto(QWidget& widget, const QStringList& files) {
  QList<QUrl> urls;
  for (const QString& file : files) urls.append(QUrl::fromLocalFile(file));
  QMimeData data;
  data.setUrls(urls);
  const QPointF at(widget.width() / 2.0, widget.height() / 2.0);
  QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&widget, &enter);
  ASSERT_TRUE(enter.isAccepted());
  QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&widget, &drop);
}

TEST_F(BatchCommandsTest, DroppedPicturesAreAddedAndADroppedStoreOpens) {
  TMainForm& form = OpenStore({{"first"}});
  DropOnto(form, {WriteJpeg(QStringLiteral("dropped.jpg")), WriteJpeg(QStringLiteral("two.jpg"))});
  std::vector<std::string> keys = Keys();
  std::sort(keys.begin(), keys.end());
  EXPECT_EQ(keys, (std::vector<std::string>{"dropped", "first", "two"}));
  EXPECT_TRUE(prompts_.Errors().empty());

  const QString other = Path(QStringLiteral("other.skd"));
  MakeStore(other, {{"elsewhere"}});
  DropOnto(form, {other});
  EXPECT_EQ(ListTexts(form.KeyList()), QStringList{QStringLiteral("elsewhere")});
  EXPECT_EQ(form.MRU().Items().front(), QFileInfo(other).absoluteFilePath());
  // A store named on the command line (a request) opens the same way.
  form.LoadFileRequest({store_});
  QCoreApplication::processEvents();
  EXPECT_EQ(ListTexts(form.KeyList()).size(), 3);
}

TEST_F(BatchCommandsTest, TheOpenDialogStartsInTheFolderOfTheStoreOpenedLast) {
  TMainForm& form = OpenStore({});
  prompts_.ClearRecord();
  prompts_.QueueOpenStore(std::nullopt);
  form.OpenStore();
  ASSERT_FALSE(prompts_.Asked().empty());
  EXPECT_EQ(prompts_.Asked().back().initial, QFileInfo(store_).absolutePath());
}

TEST_F(BatchCommandsTest, TheWindowsSizePositionAndSplitSurviveARestart) {
  TMainForm& first = MakeForm();
  const QSize design = first.size();
  EXPECT_GE(design.width(), 582);
  first.resize(design.width() + 123, design.height() + 45);
  first.Splitter().setSizes({260, first.width() - 260});
  const QSize chosen = first.size();
  const int list_width = first.KeyList().width();
  DestroyForm();
  TMainForm& second = MakeForm();
  EXPECT_EQ(second.size(), chosen);
  EXPECT_EQ(second.KeyList().width(), list_width);
}

}  // namespace
}  // namespace sk::test
