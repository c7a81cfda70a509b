// Tests of the main window's store workflows: open and create, close and reopen, the picture
// shown by MyUpdate with its status panels and view rule, password prompts, and exit.
#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QScrollBar>
#include <QToolButton>
#include <QWheelEvent>
#include <algorithm>
#include <cstdlib>
#include <map>

#include "app/KeyListBox.h"
#include "app/Messages.h"
#include "app/NewGauge.h"
#include "app/PasswordDlg.h"
#include "app/Prompts.h"
#include "app/StoreAccess.h"
#include "imaging/InvalidGraphic.h"
#include "store/KESErrors.h"
#include "tests/app/AppTestSupport.h"
#include "view/Image.h"

namespace sk::test {
namespace {

constexpr TCommand kStoreButtons[] = {TCommand::kAddButton, TCommand::kDeleteButton,
                                      TCommand::kSaveButton, TCommand::kRenameButton};
constexpr TMenuId kStoreMenus[] = {TMenuId::kImage, TMenuId::kBatch, TMenuId::kDatabase};

// The seven store controls follow the store: the three menus open, the four buttons enabled as
// far as their commands exist in this version.
void ExpectStoreControls(const TMainForm& form, bool open) {
  for (TMenuId menu : kStoreMenus) {
    EXPECT_EQ(form.Menu(menu).menuAction()->isEnabled(), open) << static_cast<int>(menu);
  }
  for (TCommand command : kStoreButtons) {
    EXPECT_EQ(form.Button(command).isEnabled(), open && form.Available(command))
        << static_cast<int>(command);
  }
}

QStringList ListTexts(const TKeyListBox& list) {
  return list.Texts();
}

// A dialog script that types text into the password dialog and presses OK.
TScriptedPrompts::TDialogScript TypePassword(const QString& text) {
  return [text](QDialog& dialog) {
    auto& password = dynamic_cast<TPasswordDlg&>(dialog);
    EXPECT_TRUE(password.Edit().text().isEmpty());
    password.Edit().setText(text);
    return static_cast<int>(QDialog::Accepted);
  };
}

using MainFormTest = TAppTest;

TEST_F(MainFormTest, StartsWithNoStoreAndTheStoreControlsDisabled) {
  TMainForm& form = MakeForm();
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Stillkeep 0.5"));
  EXPECT_FALSE(form.StoreOpen());
  ExpectStoreControls(form, false);
  // Commands on a store wait for one; the others work.
  EXPECT_FALSE(form.Action(TCommand::kPack).isEnabled());
  EXPECT_FALSE(form.Action(TCommand::kImageLoad).isEnabled());
  for (TCommand command : {TCommand::kOpen, TCommand::kClose, TCommand::kPreferences,
                           TCommand::kExit, TCommand::kContents, TCommand::kZoomInButton,
                           TCommand::kZoomOutButton, TCommand::kViewStyleButton}) {
    EXPECT_TRUE(form.Action(command).isEnabled()) << static_cast<int>(command);
  }
  EXPECT_EQ(form.Action(TCommand::kOpen).shortcut(), QKeySequence(Qt::Key_F3));
  EXPECT_EQ(form.Action(TCommand::kPreferences).shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F2));
  EXPECT_EQ(form.Action(TCommand::kContents).shortcut(), QKeySequence(Qt::Key_F1));
  // The keys every picture viewer has.
  EXPECT_EQ(form.Action(TCommand::kImageDelete).shortcut(), QKeySequence(Qt::Key_Delete));
  EXPECT_EQ(form.Action(TCommand::kImageRename).shortcut(), QKeySequence(Qt::Key_F2));
  EXPECT_EQ(form.Action(TCommand::kZoomInButton).shortcut(), QKeySequence(Qt::Key_Plus));
  EXPECT_EQ(form.Action(TCommand::kZoomOutButton).shortcut(), QKeySequence(Qt::Key_Minus));
  EXPECT_EQ(form.SizePanel().text(), QStringLiteral("0 kb"));
}

TEST_F(MainFormTest, OpeningANewNameCreatesAnEmptyStore) {
  TMainForm& form = MakeForm();
  const QString path = Path(QStringLiteral("new.skd"));
  form.PositionPanel().setText(QStringLiteral("previous"));
  OpenThroughDialog(path);

  EXPECT_TRUE(prompts_.Errors().empty());
  EXPECT_TRUE(form.StoreOpen());
  EXPECT_TRUE(QFileInfo(path).isFile());
  EXPECT_EQ(form.KeyList().count(), 0);
  EXPECT_EQ(form.PositionPanel().text(), QStringLiteral("previous"));
  EXPECT_EQ(form.SizePanel().text(), QStringLiteral("0 kb"));
  ExpectStoreControls(form, true);
  EXPECT_EQ(form.MRU().Items(), QStringList{path});
  EXPECT_EQ(ReadPreferenceString(QStringLiteral("LastFile")), path);
}

TEST_F(MainFormTest, OpeningAStoreSelectsAndShowsTheFirstKey) {
  const QString path = Path(QStringLiteral("three.skd"));
  MakeStore(path,
            {{"red", 40, 30, 0xE02020}, {"green", 50, 20, 0x20C020}, {"blue", 30, 60, 0x2020E0}});
  TMainForm& form = MakeForm();
  OpenThroughDialog(path);

  ASSERT_TRUE(prompts_.Errors().empty()) << prompts_.Errors().front().toStdString();
  QStringList expected;
  for (const std::string& key : StoreKeys(path)) expected.append(QString::fromStdString(key));
  EXPECT_EQ(ListTexts(form.KeyList()), expected);
  ASSERT_EQ(form.KeyList().currentRow(), 0);
  EXPECT_EQ(form.PositionPanel().text(), QStringLiteral("1 out of 3"));

  struct TShown {
    int width;
    int height;
    uint32_t rgb;
  };
  const std::map<QString, TShown> pictures = {{QStringLiteral("red"), {40, 30, 0xE02020}},
                                              {QStringLiteral("green"), {50, 20, 0x20C020}},
                                              {QStringLiteral("blue"), {30, 60, 0x2020E0}}};
  for (int row = 0; row < 3; ++row) {
    SCOPED_TRACE(row);
    if (row > 0) ClickRow(row);
    const TShown& shown = pictures.at(form.KeyList().Text(row));
    const TPicture& picture = form.Image().Bitmap();
    EXPECT_EQ(picture.Width(), shown.width);
    EXPECT_EQ(picture.Height(), shown.height);
    EXPECT_TRUE(NearColour(CentreColour(picture), shown.rgb));
    EXPECT_EQ(form.PositionPanel().text(), QStringLiteral("%1 out of 3").arg(row + 1));
  }
}

TEST_F(MainFormTest, SizePanelShowsKilobytesOfAThousandBytesRoundedDown) {
  const struct {
    size_t bytes;
    const char* shown;
  } cases[] = {{999, "0 kb"}, {1000, "1 kb"}, {1999, "1 kb"}, {2000, "2 kb"}, {12345, "12 kb"}};
  std::vector<TTestItem> items;
  for (const auto& c : cases) {
    items.push_back({"item" + std::to_string(c.bytes), 4, 4, 0x336699, c.bytes});
  }
  const QString path = Path(QStringLiteral("sizes.skd"));
  MakeStore(path, items);
  TMainForm& form = MakeForm();
  OpenThroughDialog(path);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    const int found =
        form.KeyList().Texts().indexOf(QString::fromStdString("item" + std::to_string(c.bytes)));
    ASSERT_GE(found, 0);
    ClickRow(found);
    EXPECT_EQ(form.SizePanel().text(), QString::fromUtf8(c.shown));
  }
  EXPECT_TRUE(prompts_.Errors().empty());
}

TEST_F(MainFormTest, ViewRuleFitsOnlyPicturesLargerThanTheView) {
  TMainForm& form = MakeForm();
  const int view_width = form.Image().width();
  const int view_height = form.Image().height();
  ASSERT_GT(view_width, 100);
  ASSERT_GT(view_height, 100);
  const struct {
    const char* name;
    int view_style;
    int width;
    int height;
    bool fitted;
  } cases[] = {
      {"small, fit", 0, view_width / 2, view_height / 2, false},
      {"exactly the view, fit", 0, view_width, view_height, false},
      {"wider, fit", 0, view_width * 3, view_height / 2, true},
      {"taller, fit", 0, view_width / 2, view_height * 2, true},
      {"wider, original", 1, view_width * 3, view_height / 2, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QString path = Path(QString::fromUtf8(c.name) + QStringLiteral(".skd"));
    MakeStore(path, {{"picture", c.width, c.height, 0x808080}});
    WritePreference(QStringLiteral("ViewStyle"), QString::number(c.view_style));
    TMainForm& shown = MakeForm();
    OpenThroughDialog(path);
    const int zoom = shown.Image().Zoom();
    if (c.fitted) {
      EXPECT_LT(zoom, 100);
      EXPECT_LE(c.width * zoom / 100, shown.Image().width());
      EXPECT_LE(c.height * zoom / 100, shown.Image().height());
      shown.Image().Fit();
      EXPECT_EQ(shown.Image().Zoom(), zoom);  // what Fit gives
    } else {
      EXPECT_EQ(zoom, 100);
    }
  }
}

TEST_F(MainFormTest, OriginalSizeShowsScrollBarsAndAResizeFits) {
  WritePreference(QStringLiteral("ViewStyle"), QStringLiteral("1"));
  TMainForm& form = MakeForm();
  const QString path = Path(QStringLiteral("large.skd"));
  MakeStore(path, {{"large", 1600, 1200, 0x406080}, {"small", 60, 40, 0x806040}});
  OpenThroughDialog(path);
  ASSERT_EQ(form.KeyList().Text(form.KeyList().currentRow()), QStringLiteral("large"));
  EXPECT_EQ(form.ViewStylePanel().text(), QStringLiteral("Original"));
  EXPECT_EQ(form.Image().Zoom(), 100);
  EXPECT_TRUE(form.Image().HorizontalBar().isVisible());
  EXPECT_TRUE(form.Image().VerticalBar().isVisible());
  // The scroll bars move over the whole picture.
  form.Image().SetViewX(1'000'000);
  int max_x = 0;
  int max_y = 0;
  form.Image().GetMaxViewXY(max_x, max_y);
  EXPECT_GT(max_x, 0);
  EXPECT_EQ(form.Image().ViewX(), max_x);

  form.resize(form.width() + 40, form.height() + 30);
  QCoreApplication::processEvents();
  EXPECT_LT(form.Image().Zoom(), 100);
  EXPECT_FALSE(form.Image().HorizontalBar().isVisible());

  // A picture smaller than the view stays at 100 % through a resize.
  ClickRow(1);
  EXPECT_EQ(form.Image().Zoom(), 100);
  form.resize(form.width() - 20, form.height() - 10);
  QCoreApplication::processEvents();
  EXPECT_EQ(form.Image().Zoom(), 100);
}

TEST_F(MainFormTest, ZoomButtonsAndViewStyleToggle) {
  TMainForm& form = MakeForm();
  const QString path = Path(QStringLiteral("zoom.skd"));
  MakeStore(path, {{"large", 2000, 1500, 0x406080}});
  OpenThroughDialog(path);
  const int fitted = form.Image().Zoom();
  ASSERT_LT(fitted, 100);
  EXPECT_EQ(form.ViewStylePanel().text(), QStringLiteral("Fit"));

  form.Image().SetScrollBars(false);
  form.Action(TCommand::kZoomInButton).trigger();
  EXPECT_EQ(form.Image().Zoom(), fitted + 10);
  EXPECT_TRUE(form.Image().ScrollBars());
  for (int i = 0; i < 30; ++i) form.Action(TCommand::kZoomOutButton).trigger();
  EXPECT_GT(form.Image().Zoom(), 0);
  EXPECT_LE(form.Image().Zoom(), 10);

  form.Action(TCommand::kViewStyleButton).trigger();
  EXPECT_EQ(form.ViewStyle(), 1);
  EXPECT_EQ(form.ViewStylePanel().text(), QStringLiteral("Original"));
  EXPECT_EQ(form.Image().Zoom(), 100);
  form.Action(TCommand::kViewStyleButton).trigger();
  EXPECT_EQ(form.ViewStylePanel().text(), QStringLiteral("Fit"));
  EXPECT_EQ(form.Image().Zoom(), fitted);
  // The toggle lasts for this run only.
  EXPECT_EQ(ReadPreferenceString(QStringLiteral("ViewStyle")), std::nullopt);
}

TEST_F(MainFormTest, CloseThenReopenFromTheRecentFilesRestoresTheKeys) {
  const QString path = Path(QStringLiteral("pets.skd"));
  MakeStore(path, {{"cat", 10, 10, 0x111111}, {"dog", 12, 12, 0x222222}});
  TMainForm& form = MakeForm();
  OpenThroughDialog(path);
  const QStringList keys = ListTexts(form.KeyList());
  ASSERT_EQ(keys.size(), 2);

  form.Action(TCommand::kClose).trigger();
  EXPECT_FALSE(form.StoreOpen());
  EXPECT_EQ(form.PositionPanel().text(), QStringLiteral("No database"));
  EXPECT_EQ(form.SizePanel().text(), QStringLiteral("0 kb"));
  EXPECT_EQ(form.KeyList().count(), 0);
  ExpectStoreControls(form, false);

  ASSERT_NE(form.MRU().Submenu(), nullptr);
  // Choosing the entry in the "Reopen" submenu is handled once the menu is done with the click.
  form.MRU().Submenu()->actions().front()->trigger();
  QCoreApplication::processEvents();
  EXPECT_TRUE(form.StoreOpen());
  EXPECT_EQ(ListTexts(form.KeyList()), keys);
  EXPECT_EQ(form.KeyList().currentRow(), 0);
  EXPECT_EQ(form.PositionPanel().text(), QStringLiteral("1 out of 2"));
  EXPECT_EQ(form.MRU().Items(), QStringList{path});
  ExpectStoreControls(form, true);
}

TEST_F(MainFormTest, KeysAreShownInUnicodeAndUsedInWindows1252) {
  const QString path = Path(QStringLiteral("accents.skd"));
  // "café" and "€uro" in Windows-1252.
  MakeStore(path, {{"caf\xE9", 20, 20, 0xC03030}, {"\x80uro", 30, 30, 0x3030C0}});
  TMainForm& form = MakeForm();
  OpenThroughDialog(path);
  const QStringList texts = ListTexts(form.KeyList());
  EXPECT_TRUE(texts.contains(QStringLiteral("café"))) << texts.join(',').toStdString();
  EXPECT_TRUE(texts.contains(QStringLiteral("€uro")));
  for (int row = 0; row < 2; ++row) {
    ClickRow(row);
    const int width = form.KeyList().Text(row) == QStringLiteral("café") ? 20 : 30;
    EXPECT_EQ(form.Image().Bitmap().Width(), width);
  }
  EXPECT_TRUE(prompts_.Errors().empty());
}

TEST_F(MainFormTest, PasswordDialogOpensAProtectedStore) {
  const QString path = Path(QStringLiteral("secret.skd"));
  // The password "café€" in Windows-1252.
  MakeStore(path, {{"hidden", 16, 16, 0x30A030}}, "caf\xE9\x80");
  TMainForm& form = MakeForm();

  prompts_.QueueDialog(TypePassword(QStringLiteral("café€")));
  OpenThroughDialog(path);
  EXPECT_TRUE(prompts_.Errors().empty());
  ASSERT_TRUE(form.StoreOpen());
  EXPECT_EQ(form.KeyList().count(), 1);
  EXPECT_EQ(form.PasswordDlg().windowTitle(), QStringLiteral("Password Dialog"));
  EXPECT_EQ(form.PasswordDlg().Label().text(), QStringLiteral("Enter password:"));
  EXPECT_TRUE(form.PasswordDlg().Edit().text().isEmpty());  // cleared again
  EXPECT_EQ(form.PasswordDlg().Edit().echoMode(), QLineEdit::Password);
}

TEST_F(MainFormTest, AWrongPasswordIsAskedAgainThreeTimesAndCancelClosesQuietly) {
  const QString path = Path(QStringLiteral("secret.skd"));
  MakeStore(path, {{"hidden", 16, 16, 0x30A030}}, "right");
  TMainForm& form = MakeForm();
  const auto cancel = [](QDialog& dialog) {
    dynamic_cast<TPasswordDlg&>(dialog).Edit().setText(QStringLiteral("right"));
    return static_cast<int>(QDialog::Rejected);
  };
  QString caption;
  const auto name_seen = [&caption](QDialog& dialog) {
    caption = dialog.windowTitle();
    return TypePassword(QStringLiteral("wrong"))(dialog);
  };
  struct TCase {
    const char* name;
    std::vector<TScriptedPrompts::TDialogScript> answers;
    bool opens;
    size_t errors;
  };
  const TCase cases[] = {
      {"three wrong passwords",
       {name_seen, TypePassword(QStringLiteral("RIGHT")), TypePassword(QStringLiteral("x"))},
       false,
       1},
      {"wrong, then right",
       {TypePassword(QStringLiteral("wrong")), TypePassword(QStringLiteral("right"))},
       true,
       0},
      {"cancelled", {cancel}, false, 0},
      {"wrong, then cancelled", {TypePassword(QStringLiteral("wrong")), cancel}, false, 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    form.CloseCurrentStore();
    prompts_.ClearRecord();
    for (const auto& answer : c.answers) prompts_.QueueDialog(answer);
    const QStringList recent = form.MRU().Items();
    OpenThroughDialog(path);
    EXPECT_TRUE(prompts_.AllAnswersUsed());
    ASSERT_EQ(prompts_.Errors().size(), c.errors);
    if (c.errors > 0) {
      EXPECT_EQ(prompts_.Errors().front().toStdString(), std::string(kes_msg::kInvalidPassword));
    }
    EXPECT_EQ(form.StoreOpen(), c.opens);
    ExpectStoreControls(form, c.opens);
    // Only a store that opened joins the recent files.
    if (!c.opens) {
      EXPECT_EQ(form.MRU().Items(), recent);
    }
  }
  // The question names the store; the caption is the dialog's own again afterwards.
  EXPECT_EQ(caption, QStringLiteral("Password Dialog - secret.skd"));
  EXPECT_EQ(form.PasswordDlg().windowTitle(), QStringLiteral("Password Dialog"));
  EXPECT_EQ(StoreKeys(path, "right"), std::vector<std::string>{"hidden"});
}

TEST_F(MainFormTest, APictureThatCannotBeDecodedIsReportedAndCleared) {
  const QString path = Path(QStringLiteral("damaged.skd"));
  {
    MakeStore(path, {{"good", 30, 20, 0x2050A0}});
    TKES store;
    store.SetFileName(path.toStdString());
    std::vector<uint8_t> junk(64, 0xAB);
    TMemoryStream stream(std::move(junk));
    store.AddItem(stream, "junk");
    store.SetFileName("");
  }
  TMainForm& form = MakeForm();
  OpenThroughDialog(path);
  const int good = form.KeyList().Texts().indexOf(QStringLiteral("good"));
  const int junk = form.KeyList().Texts().indexOf(QStringLiteral("junk"));
  ASSERT_GE(good, 0);
  ASSERT_GE(junk, 0);
  ClickRow(good);
  prompts_.ClearRecord();
  ClickRow(junk);
  ASSERT_EQ(prompts_.Errors().size(), 1u);
  EXPECT_EQ(prompts_.Errors().front(), QString::fromUtf8(kUnrecognizedJpegStream));
  // The picture of the key before is not left standing for the damaged one.
  EXPECT_FALSE(NearColour(CentreColour(form.Image().Bitmap()), 0x2050A0));
  // The program goes on.
  ClickRow(good);
  EXPECT_TRUE(NearColour(CentreColour(form.Image().Bitmap()), 0x2050A0));
  EXPECT_EQ(prompts_.Errors().size(), 1u);
}

TEST_F(MainFormTest, ProgressOfTheStoreReachesTheGauge) {
  TMainForm& form = MakeForm();
  EXPECT_FALSE(form.Gauge().ShowText());
  ASSERT_TRUE(form.KES().ProgressUpdate);
  ASSERT_TRUE(form.KES().ProcessMessages);
  form.KES().ProgressUpdate(form.KES(), 40, TProgressOrigin::poOpen);
  EXPECT_EQ(form.Gauge().Progress(), 40);
  form.KES().ProgressUpdate(form.KES(), 250, TProgressOrigin::poOpen);
  EXPECT_EQ(form.Gauge().Progress(), 100);

  // A store long enough to report progress steps while it opens.
  std::vector<TTestItem> items;
  for (int i = 0; i < 40; ++i) items.push_back({"k" + std::to_string(i), 2, 2, 0x101010});
  const QString path = Path(QStringLiteral("many.skd"));
  MakeStore(path, items);
  std::vector<int> seen;
  const TProgressEvent shown = form.KES().ProgressUpdate;
  form.KES().ProgressUpdate = [&](TKES& sender, TPercentage percent, TProgressOrigin kind) {
    shown(sender, percent, kind);
    seen.push_back(form.Gauge().Progress());
  };
  OpenThroughDialog(path);
  EXPECT_NE(std::find_if(seen.begin(), seen.end(), [](int p) { return p > 0; }), seen.end());
}

TEST_F(MainFormTest, DecliningTheExitQuestionKeepsTheWindowAndTheStoreOpen) {
  const QString path = Path(QStringLiteral("keep.skd"));
  MakeStore(path, {{"one", 8, 8, 0x123456}});
  TMainForm& form = MakeForm();
  OpenThroughDialog(path);

  prompts_.QueueButton(TMsgDlgBtn::kNo);
  EXPECT_FALSE(form.close());
  EXPECT_TRUE(form.isVisible());
  EXPECT_TRUE(form.StoreOpen());
  EXPECT_EQ(prompts_.Messages().back(), QStringLiteral("Are you sure you want to exit Stillkeep?"));
  EXPECT_EQ(prompts_.Asked().back().type, TMsgDlgType::kConfirmation);

  prompts_.QueueButton(TMsgDlgBtn::kYes);
  form.Action(TCommand::kExit).trigger();
  EXPECT_FALSE(form.isVisible());
  EXPECT_FALSE(form.StoreOpen());  // written back and closed
  EXPECT_EQ(RegistryRecentFiles(), QStringList{path});
  EXPECT_TRUE(prompts_.AllAnswersUsed());
}

TEST_F(MainFormTest, AStoreChangedOnDiskMeanwhileIsSavedBesideItAndTheUserIsTold) {
  const QString path = Path(QStringLiteral("shared.skd"));
  MakeStore(path, {{"one", 8, 8, 0x123456}});
  TMainForm& form = MakeForm();
  OpenThroughDialog(path);
  TMemoryStream added(std::vector<uint8_t>{1, 2, 3});
  form.KES().AddItem(added, "two");
  // Another program replaces the file while it is open.
  const QString other = Path(QStringLiteral("other.skd"));
  MakeStore(other, {{"other", 8, 8, 0x654321}});
  ASSERT_TRUE(QFile::remove(path));
  ASSERT_TRUE(QFile::rename(other, path));
  {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime);
  }
  form.Action(TCommand::kClose).trigger();
  const QString saved_as = Path(QStringLiteral("1.shared.skd"));
  ASSERT_EQ(prompts_.Messages().size(), 1u);
  EXPECT_TRUE(prompts_.Messages().front().contains(saved_as));
  EXPECT_EQ(StoreKeys(saved_as), (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(StoreKeys(path), std::vector<std::string>{"other"});
}

}  // namespace
}  // namespace sk::test

namespace sk::test {
namespace {

TEST_F(MainFormTest, TheTitleNamesTheStoreAndAReadOnlyStoreSaysSoWithItsChangesDisabled) {
  const QString read_only = Path(QStringLiteral("kept.skd"));
  const QString writable = Path(QStringLiteral("open.skd"));
  MakeStore(read_only, {{"one", 8, 8, 0x123456}, {"two", 8, 8, 0x654321}});
  MakeStore(writable, {{"three", 8, 8, 0x123456}});
  ASSERT_TRUE(QFile::setPermissions(read_only, QFile::ReadOwner | QFile::ReadGroup));
  QByteArray before;
  {
    QFile file(read_only);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    before = file.readAll();
  }
  TMainForm& form = MakeForm();
  constexpr TCommand kChanging[] = {
      TCommand::kAddButton, TCommand::kDeleteButton, TCommand::kRenameButton,
      TCommand::kImageLoad, TCommand::kImageDelete,  TCommand::kImageRename,
      TCommand::kBatchAdd,  TCommand::kBatchDelete,  TCommand::kBatchScan,
      TCommand::kPassword,  TCommand::kPack,         TCommand::kKill};
  const struct {
    const QString* path;
    QString title;
    bool read_only;
  } cases[] = {
      {&read_only, QStringLiteral("Stillkeep 0.5 - kept.skd (read-only)"), true},
      {&writable, QStringLiteral("Stillkeep 0.5 - open.skd"), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title.toStdString());
    OpenThroughDialog(*c.path);
    ASSERT_TRUE(form.StoreOpen());
    EXPECT_EQ(form.windowTitle(), c.title);
    EXPECT_EQ(form.ReadOnlyPanel().isVisibleTo(&form), c.read_only);
    EXPECT_EQ(form.ReadOnlyPanel().text(), QStringLiteral("Read-only"));
    for (TCommand command : kChanging) {
      EXPECT_EQ(form.Action(command).isEnabled(), !c.read_only) << static_cast<int>(command);
    }
    // Saving pictures to disk changes nothing in the store.
    EXPECT_TRUE(form.Action(TCommand::kImageSave).isEnabled());
    EXPECT_TRUE(form.Action(TCommand::kBatchSave).isEnabled());
    form.Action(TCommand::kClose).trigger();
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Stillkeep 0.5"));
    EXPECT_FALSE(form.ReadOnlyPanel().isVisibleTo(&form));
  }
  EXPECT_TRUE(prompts_.Messages().empty());
  QFile file(read_only);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), before);
}

TEST_F(MainFormTest, AStoreThatCannotBeWrittenBackResetsTheGaugeAndKeepsTheStoreOpen) {
  QDir(Path(QString())).mkdir(QStringLiteral("folder"));
  const QString path = Path(QStringLiteral("folder/store.skd"));
  std::vector<TTestItem> items;
  for (int i = 0; i < 40; ++i) items.push_back({"k" + std::to_string(i), 2, 2, 0x101010});
  MakeStore(path, items);
  TMainForm& form = MakeForm();
  OpenThroughDialog(path);
  ASSERT_TRUE(form.StoreOpen());
  form.KES().Delete();
  // The folder goes away while the store is open: writing it back fails after the index was
  // written, with the gauge on its way.
  ASSERT_TRUE(QDir(Path(QStringLiteral("folder"))).removeRecursively());
  int last_progress = 0;
  const TProgressEvent shown = form.KES().ProgressUpdate;
  form.KES().ProgressUpdate = [&](TKES& sender, TPercentage percent, TProgressOrigin kind) {
    shown(sender, percent, kind);
    last_progress = form.Gauge().Progress();
  };
  form.Action(TCommand::kClose).trigger();
  ASSERT_EQ(prompts_.Errors().size(), 1u);
  EXPECT_GT(last_progress, 0);
  EXPECT_EQ(form.Gauge().Progress(), 0);
  EXPECT_TRUE(form.StoreOpen());  // nothing is lost: the working files stay
}

TEST_F(MainFormTest, TheStatusBarShowsTheZoomAndTheWheelZoomsThePicture) {
  const QString path = Path(QStringLiteral("big.skd"));
  MakeStore(path, {{"big", 1200, 900, 0x808080}});
  TMainForm& form = MakeForm();
  EXPECT_EQ(form.ZoomPanel().text(), QStringLiteral("100 %"));
  OpenThroughDialog(path);
  // Fitted by the view rule.
  EXPECT_LT(form.Image().Zoom(), 100);
  EXPECT_EQ(form.ZoomPanel().text(), QStringLiteral("%1 %").arg(form.Image().Zoom()));
  form.Image().SetZoom(100);
  form.ZoomIn();
  EXPECT_EQ(form.ZoomPanel().text(), QStringLiteral("110 %"));
  const QPoint pointer(20, 20);
  QWheelEvent wheel(QPointF(pointer), QPointF(form.Image().mapToGlobal(pointer)), QPoint(),
                    QPoint(0, 120), Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(&form.Image(), &wheel);
  EXPECT_EQ(form.Image().Zoom(), 120);
  EXPECT_EQ(form.ZoomPanel().text(), QStringLiteral("120 %"));
  QWheelEvent scroll(QPointF(pointer), QPointF(form.Image().mapToGlobal(pointer)), QPoint(),
                     QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  const int before = form.Image().ViewY();
  QCoreApplication::sendEvent(&form.Image(), &scroll);
  EXPECT_GT(form.Image().ViewY(), before);
  EXPECT_TRUE(prompts_.Messages().empty());
}

TEST(StoreAccessTest, TheFirstCauseThatStopsAWriteIsNamed) {
  const struct {
    const char* name;
    TWriteAccess access;
    int64_t needed;
    TWriteBlock block;
    const char* text;
  } cases[] = {
      // read-only disk, folder writable, file writable, read-only file, free bytes
      {"writable", {false, true, true, false, 1000}, 10, TWriteBlock::kNone, ""},
      {"room unknown", {false, true, true, false, -1}, 10, TWriteBlock::kNone, ""},
      {"room not asked", {false, true, true, false, 5}, -1, TWriteBlock::kNone, ""},
      // A writable file in a folder that refuses new files is written in place.
      {"file written in place", {false, false, true, false, 1000}, 10, TWriteBlock::kNone, ""},
      {"read-only disk",
       {true, false, false, true, 0},
       10,
       TWriteBlock::kReadOnlyDisk,
       "/p/s.skd could not be written: the disk that holds it is read-only."},
      {"folder and file refused",
       {false, false, false, false, 1000},
       10,
       TWriteBlock::kNoPermission,
       "/p/s.skd could not be written: you have no permission to write in the folder /p."},
      {"disk full",
       {false, true, true, false, 5},
       10,
       TWriteBlock::kDiskFull,
       "/p/s.skd could not be written: the disk that holds it is full."},
      {"read-only file",
       {false, true, false, true, 1000},
       10,
       TWriteBlock::kReadOnlyFile,
       "/p/s.skd could not be written: it is a read-only file."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const TWriteBlock block = WhyNotWritable(c.access, c.needed);
    EXPECT_EQ(block, c.block);
    EXPECT_EQ(WriteBlockText(block, QStringLiteral("/p/s.skd")), QString::fromUtf8(c.text));
  }
}

}  // namespace
}  // namespace sk::test

namespace sk::test {
namespace {

// skd adding a long batch to path is killed (SIGKILL) once its first picture is flushed.
void KillABatchAfterItsFirstFlush(const QString& path, const QString& tmp, const QString& photo) {
  QStringList args{QStringLiteral("add"), path};
  for (int i = 0; i < 300; ++i) args << photo;
  QProcess skd;
  skd.start(QStringLiteral(SK_SKD_PATH), args);
  ASSERT_TRUE(skd.waitForStarted());
  ASSERT_TRUE(WaitForJournal(tmp));
  skd.kill();
  skd.waitForFinished();
}

TEST_F(MainFormTest, AStoreWhoseSessionWasKilledOffersToRecoverItsPictures) {
  const QString tmp = QString::fromLocal8Bit(qgetenv("TMPDIR"));
  const QString photo = Path(QStringLiteral("photo.bmp"));
  ASSERT_EQ(std::system(("/usr/bin/convert -size 32x24 gradient:red-blue '" +
                         photo.toStdString() + "'")
                            .c_str()),
            0);
  TMainForm& form = MakeForm();
  for (const bool recover : {true, false}) {
    SCOPED_TRACE(recover ? "recovered" : "discarded");
    const QString path = Path(recover ? QStringLiteral("yes.skd") : QStringLiteral("no.skd"));
    MakeStore(path, {{"kept", 8, 8, 0x123456}});
    KillABatchAfterItsFirstFlush(path, tmp, photo);
    prompts_.QueueButton(recover ? TMsgDlgBtn::kYes : TMsgDlgBtn::kNo);
    const size_t asked = prompts_.Messages().size();
    OpenThroughDialog(path);
    ASSERT_EQ(prompts_.Messages().size(), asked + 1);
    EXPECT_TRUE(prompts_.Messages().back().startsWith(
        QStringLiteral("Stillkeep was not closed properly. Recover the ")))
        << prompts_.Messages().back().toStdString();
    ASSERT_TRUE(form.StoreOpen());
    EXPECT_EQ(form.KES().Count() > 1, recover);
    EXPECT_TRUE(form.KES().FindKey("kept"));
    form.Action(TCommand::kClose).trigger();
    EXPECT_TRUE(QDir(tmp).entryList(QDir::Files).isEmpty());
  }
}

}  // namespace
}  // namespace sk::test
