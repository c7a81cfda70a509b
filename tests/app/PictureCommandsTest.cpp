// Tests of the picture commands: add, delete, rename, save to disk, the save dialog, the About box
// and the controls that reach them.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QStackedWidget>
#include <QToolButton>
#include <QTreeView>
#include <algorithm>
#include <cerrno>

#include "app/AboutBox.h"
#include "app/KeyListBox.h"
#include "app/Messages.h"
#include "app/NameDLG.h"
#include "app/SaveAs.h"
#include "imaging/ImageIO.h"
#include "platform/Files.h"
#include "platform/MemoryStream.h"
#include "store/KES.h"
#include "tests/app/AppTestSupport.h"
#include "tests/app/PictureWorkflowTest.h"
#include "tests/store/StoreTestUtil.h"
#include "view/Image.h"

namespace sk::test {
namespace {

QString Text(const char* utf8) {
  return QString::fromUtf8(utf8);
}


// The bytes of one item of the store file path.
std::vector<uint8_t> StoredItem(const QString& path, const std::string& key) {
  TKES store;
  store.SetReadOnly(true);
  store.SetFileName(QFile::encodeName(path).toStdString());
  EXPECT_TRUE(store.FindKey(key)) << key;
  TMemoryStream stream;
  store.GetItem(stream);
  store.SetFileName("");
  return stream.TakeBytes();
}

using PictureCommandsTest = TPictureWorkflowTest;

TEST_F(PictureCommandsTest, AddingTheSameFileGrowsItsNameAndSelectsTheNewKey) {
  TMainForm& form = OpenStore({});
  const QString photo = WriteJpeg(QStringLiteral("photo.jpg"));
  const char* expected[] = {"photo", "photo (1)", "photo (1) (2)"};
  for (const char* key : expected) {
    SCOPED_TRACE(key);
    QString proposed;
    prompts_.QueueOpenPictures({photo});
    prompts_.QueueDialog(PressOk([&proposed](QDialog& dialog) {
      proposed = dynamic_cast<TNameDLG&>(dialog).Edit().text();
    }));
    form.Action(TCommand::kImageLoad).trigger();
    EXPECT_EQ(proposed, QStringLiteral("photo"));
    EXPECT_EQ(SelectedText(form.KeyList()), QString::fromUtf8(key));
    EXPECT_TRUE(NearColour(CentreColour(form.Image().Bitmap()), 0x3060C0));
  }
  EXPECT_TRUE(prompts_.Messages().empty());
  std::vector<std::string> keys = Keys();
  std::sort(keys.begin(), keys.end());
  EXPECT_EQ(keys, (std::vector<std::string>{"photo", "photo (1)", "photo (1) (2)"}));
  // Each add was flushed to the working files; closing writes them into the container.
  form.Action(TCommand::kClose).trigger();
  EXPECT_EQ(StoreKeys(store_).size(), 3u);
}

TEST_F(PictureCommandsTest, TheProposedNameComesFromTheFileName) {
  const struct {
    const char* file;
    const char* proposed;
    bool loads;
  } cases[] = {
      {"cat.jpg", "cat", true},
      {"cat.jpeg", "cat.jpeg", true},
      {"scan.tiff", "scan.tiff", false},  // a four-letter extension stays in the name
      {"a.b", "a.b", false},
  };
  TMainForm& form = OpenStore({{"kept", 8, 8, 0x102030}});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const QString file = WriteJpeg(QString::fromUtf8(c.file));
    if (!c.loads) QFile(file).resize(10);
    prompts_.ClearRecord();
    QString proposed;
    prompts_.QueueOpenPictures({file});
    prompts_.QueueDialog(PressOk([&proposed](QDialog& dialog) {
      proposed = dynamic_cast<TNameDLG&>(dialog).Edit().text();
    }));
    const size_t before = Keys().size();
    form.AddPicture();
    EXPECT_EQ(proposed, QString::fromUtf8(c.proposed));
    if (c.loads) {
      EXPECT_TRUE(prompts_.Messages().empty());
      EXPECT_EQ(Keys().size(), before + 1);
    } else {
      EXPECT_EQ(prompts_.Messages(),
                std::vector<QString>{AboutSubject(Text(app_msg::kLoadFailed), file)});
      EXPECT_EQ(Keys().size(), before);
    }
  }
}

TEST_F(PictureCommandsTest, AFileUnderAnotherFormatsNameIsReadByItsSignature) {
  TMainForm& form = OpenStore({});
  // A GIF saved as ".jpg" (made by ImageMagick), a PNG saved as ".jpg" (no PNG reader exists),
  // and a JPEG of noise cut to two thirds of its bytes.
  const QString gif = Path(QStringLiteral("drawing.jpg"));
  ASSERT_EQ(QProcess::execute(QStringLiteral("convert"),
                              {QStringLiteral("-size"), QStringLiteral("24x16"),
                               QStringLiteral("xc:#3060C0"), QStringLiteral("gif:") + gif}),
            0);
  const QString png = Path(QStringLiteral("screen.jpg"));
  QImage solid(24, 16, QImage::Format_RGB32);
  solid.fill(QColor(0x30, 0x60, 0xC0));
  ASSERT_TRUE(solid.save(png, "PNG"));
  const QString cut = Path(QStringLiteral("cut.jpg"));
  {
    QImage noise(96, 96, QImage::Format_RGB32);
    for (int y = 0; y < noise.height(); ++y) {
      for (int x = 0; x < noise.width(); ++x) {
        noise.setPixel(x, y, qRgb(x * 37 % 256, y * 91 % 256, (x ^ y) * 13 % 256));
      }
    }
    ASSERT_TRUE(noise.save(cut, "JPG", 95));
    QFile file(cut);
    ASSERT_TRUE(file.resize(file.size() * 2 / 3));
  }
  const struct {
    const QString* file;
    bool stored;
    QString message;  // "" for none
  } cases[] = {
      {&gif, true, QString()},
      {&png, false, AboutSubject(Text(app_msg::kLoadFailed), png)},
      {&cut, true, Text(app_msg::kEndedEarly).arg(cut)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file->toStdString());
    prompts_.ClearRecord();
    const size_t before = Keys().size();
    prompts_.QueueOpenPictures({*c.file});
    prompts_.QueueDialog(PressOk([](QDialog&) {}));
    if (!c.message.isEmpty()) prompts_.QueueButton(TMsgDlgBtn::kOk);
    form.AddPicture();
    EXPECT_EQ(Keys().size(), before + (c.stored ? 1 : 0));
    EXPECT_EQ(prompts_.Messages(),
              c.message.isEmpty() ? std::vector<QString>{} : std::vector<QString>{c.message});
    if (c.file == &gif) {
      EXPECT_TRUE(NearColour(CentreColour(form.Image().Bitmap()), 0x3060C0));
    }
    if (c.file == &cut) {
      EXPECT_EQ(form.Image().Bitmap().Width(), 96);
    }
  }
}

TEST_F(PictureCommandsTest, CancellingTheFileDialogAddsNothing) {
  TMainForm& form = OpenStore({{"only", 8, 8, 0x102030}});
  prompts_.QueueOpenPictures({});
  form.AddPicture();
  EXPECT_EQ(Keys(), std::vector<std::string>{"only"});
  EXPECT_TRUE(prompts_.AllAnswersUsed());
}

TEST_F(PictureCommandsTest, AnAddedPictureIsStoredAtThePreferenceQualityButNeverAbove90) {
  const struct {
    const char* preference;  // nothing: the default
    int stored;
  } cases[] = {{nullptr, 75}, {"100", 90}, {"90", 90}, {"40", 40}};
  ASSERT_NE(TablesAtQuality(75), TablesAtQuality(90));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored);
    if (c.preference != nullptr) {
      WritePreference(QStringLiteral("Quality"), QString::fromUtf8(c.preference));
    }
    TMainForm& form = OpenStore({});
    Add(WriteJpeg(QStringLiteral("q.jpg")));
    form.Action(TCommand::kClose).trigger();
    const std::vector<uint8_t> item = StoredItem(store_, "q");
    ASSERT_GT(item.size(), JpegFrame::kSize);
    EXPECT_EQ(std::string(item.begin(), item.begin() + 4), "JFIF");
    EXPECT_EQ(QuantTables(item), TablesAtQuality(c.stored));
    DestroyForm();
    QFile::remove(store_);
  }
}

TEST_F(PictureCommandsTest, ANameThatCannotBeMadeUniqueEndsTheAddWithAMessage) {
  const std::string long_key(255, 'k');
  TMainForm& form = OpenStore({{long_key, 8, 8, 0x102030}});
  Add(WriteJpeg(QStringLiteral("other.jpg"), 0xE0E0E0), QString::fromStdString(long_key));
  ASSERT_EQ(prompts_.Errors().size(), 1u);
  EXPECT_TRUE(prompts_.Errors().front().contains(QStringLiteral("The picture was not added")));
  EXPECT_EQ(Keys(), std::vector<std::string>{long_key});
  // The view shows the stored picture again, not the file that was not added.
  EXPECT_TRUE(NearColour(CentreColour(form.Image().Bitmap()), 0x102030));
}

TEST_F(PictureCommandsTest, AStoreFailureWhileAddingIsToldAndTheListStillRefreshed) {
  TMainForm& form = OpenStore({{"one", 8, 8, 0x102030}});
  form.PositionPanel().setText(QStringLiteral("stale"));
  // The store refuses a key with a zero character.
  Add(WriteJpeg(QStringLiteral("z.jpg")), QStringLiteral("bad") + QChar(0) + QStringLiteral("key"));
  // The message names the picture it is about.
  EXPECT_EQ(prompts_.Messages(), std::vector<QString>{AboutSubject(
                                     Text(app_msg::kStoreFailed),
                                     QStringLiteral("bad") + QChar(0) + QStringLiteral("key"))});
  EXPECT_EQ(Keys(), std::vector<std::string>{"one"});
  EXPECT_EQ(ListTexts(form.KeyList()), QStringList{QStringLiteral("one")});
  EXPECT_EQ(form.KeyList().currentRow(), -1);
  EXPECT_EQ(form.SizePanel().text(), QStringLiteral("0 kb"));
}

TEST_F(PictureCommandsTest, DeleteKeepsTheIndexOrSelectsTheNewLast) {
  const struct {
    int count;
    int row;
    int selected_after;  // -1: nothing
  } cases[] = {{3, 2, 1}, {3, 0, 0}, {3, 1, 1}, {1, 0, -1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.count << " keys, row " << c.row);
    std::vector<TTestItem> items;
    for (int i = 0; i < c.count; ++i)
      items.push_back({"key" + std::to_string(i), 16, 16, 0x404040});
    TMainForm& form = OpenStore(items);
    ClickRow(c.row);
    const QString deleted = SelectedText(form.KeyList());
    prompts_.ClearRecord();
    prompts_.QueueButton(TMsgDlgBtn::kYes);
    form.Action(TCommand::kDeleteButton).trigger();
    ASSERT_EQ(prompts_.Messages(),
              std::vector<QString>{AboutSubject(Text(app_msg::kConfirmDelete), deleted)});
    EXPECT_EQ(
        prompts_.Asked().front().text,
        Text(app_msg::kConfirmDelete) + QStringLiteral("\r\r'") + deleted + QStringLiteral("'"));
    EXPECT_EQ(prompts_.Asked().front().type, TMsgDlgType::kConfirmation);
    EXPECT_EQ(form.KeyList().count(), c.count - 1);
    EXPECT_FALSE(ListTexts(form.KeyList()).contains(deleted));
    EXPECT_EQ(form.KeyList().currentRow(), c.selected_after);
    if (c.selected_after < 0) {
      EXPECT_EQ(form.KeyList().currentRow(), -1);
      EXPECT_EQ(form.SizePanel().text(), QStringLiteral("0 kb"));
      // The view is cleared to its background.
      EXPECT_FALSE(NearColour(CentreColour(form.Image().Bitmap()), 0x404040, 4));
    } else {
      EXPECT_EQ(form.PositionPanel().text(),
                QStringLiteral("%1 out of %2").arg(c.selected_after + 1).arg(c.count - 1));
    }
    DestroyForm();
    QFile::remove(store_);
  }
}

TEST_F(PictureCommandsTest, AnsweringNoChangesNothingButRefreshes) {
  TMainForm& form =
      OpenStore({{"a", 8, 8, 0x111111}, {"b", 8, 8, 0x222222}, {"c", 8, 8, 0x333333}});
  ClickRow(1);
  form.PositionPanel().setText(QStringLiteral("stale"));
  // The store gains a key behind the window's back: the list no longer shows what it holds.
  TMemoryStream extra(FramedJpeg(8, 8, 0x444444));
  form.KES().AddItem(extra, "d");
  prompts_.QueueButton(TMsgDlgBtn::kNo);
  form.DeletePicture();
  EXPECT_EQ(Keys().size(), 4u);
  EXPECT_TRUE(ListTexts(form.KeyList()).contains(QStringLiteral("d")));
  EXPECT_EQ(form.KeyList().currentRow(), 1);
  EXPECT_EQ(form.PositionPanel().text(), QStringLiteral("2 out of 4"));
}

TEST_F(PictureCommandsTest, RenamingAndCancellingKeepsTheNameAndTheBytes) {
  TMainForm& form = OpenStore({{"keep", 16, 16, 0x806040}});
  const std::vector<uint8_t> before = StoredItem(store_, "keep");
  prompts_.QueueInputCancel();
  form.Action(TCommand::kRenameButton).trigger();
  ASSERT_EQ(prompts_.Asked().back().kind, TScriptedPrompts::TAsked::Kind::kInput);
  EXPECT_EQ(prompts_.Asked().back().text, Text(app_msg::kRenameCaption));
  EXPECT_EQ(prompts_.Asked().back().prompt, Text(app_msg::kRenamePrompt));
  EXPECT_EQ(prompts_.Asked().back().initial, QStringLiteral("keep"));
  EXPECT_EQ(SelectedText(form.KeyList()), QStringLiteral("keep"));
  form.Action(TCommand::kClose).trigger();
  EXPECT_EQ(StoredItem(store_, "keep"), before);
}

TEST_F(PictureCommandsTest, ARenameStoresTheExactBytesUnderTheNewName) {
  struct TCase {
    const char* answer;
    const char* stored;
  };
  // A new name, and a change of case only (the store compares keys without case).
  const TCase cases[] = {{"renamed", "renamed"}, {"Keep", "Keep"}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.answer);
    TMainForm& form = OpenStore({{"keep", 16, 16, 0x806040}, {"other"}});
    const std::vector<uint8_t> before = StoredItem(store_, "keep");
    ClickRow(ListTexts(form.KeyList()).indexOf(QStringLiteral("keep")));
    prompts_.QueueInput(QString::fromUtf8(c.answer));
    form.RenamePicture();
    EXPECT_TRUE(prompts_.Errors().empty());
    EXPECT_EQ(SelectedText(form.KeyList()), QString::fromUtf8(c.stored));
    EXPECT_EQ(ListTexts(form.KeyList()).size(), 2);
    form.Action(TCommand::kClose).trigger();
    std::vector<std::string> keys = StoreKeys(store_);
    std::vector<std::string> expected = {c.stored, "other"};
    std::sort(keys.begin(), keys.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(keys, expected);
    // Not a re-encode: the pixels never change on a rename.
    EXPECT_EQ(StoredItem(store_, c.stored), before);
    DestroyForm();
    QFile::remove(store_);
  }
}

TEST_F(PictureCommandsTest, RenamingToAnExistingKeyAsksAgainUntilTheNameIsFree) {
  const struct {
    std::vector<std::optional<QString>> answers;  // nothing: cancel
    const char* stored;
    int asked_again;
  } cases[] = {
      {{QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")}, "d", 2},
      {{QStringLiteral("B"), QStringLiteral("new")}, "new", 1},
      // Cancelling the question again puts the picture back under its old name.
      {{QStringLiteral("b"), std::nullopt}, "a", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored);
    TMainForm& form =
        OpenStore({{"a", 8, 8, 0x111111}, {"b", 8, 8, 0x222222}, {"c", 8, 8, 0x333333}});
    ClickRow(ListTexts(form.KeyList()).indexOf(QStringLiteral("a")));
    prompts_.ClearRecord();
    for (const auto& answer : c.answers) {
      if (answer) {
        prompts_.QueueInput(*answer);
      } else {
        prompts_.QueueInputCancel();
      }
    }
    form.RenamePicture();
    int asked_again = 0;
    for (const auto& asked : prompts_.Asked()) {
      if (asked.text == Text(app_msg::kKeyExistsCaption)) {
        ++asked_again;
        EXPECT_EQ(asked.prompt, Text(app_msg::kKeyExistsPrompt));
      }
    }
    EXPECT_EQ(asked_again, c.asked_again);
    EXPECT_TRUE(prompts_.AllAnswersUsed());
    std::vector<std::string> keys = Keys();
    std::sort(keys.begin(), keys.end());
    std::vector<std::string> expected = {"b", "c", c.stored};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(keys, expected);
    EXPECT_EQ(SelectedText(form.KeyList()), QString::fromUtf8(c.stored));
    EXPECT_TRUE(form.windowTitle().startsWith(Text(app_msg::kAppTitle)))
        << form.windowTitle().toStdString();
    DestroyForm();
    QFile::remove(store_);
  }
}

TEST_F(PictureCommandsTest, ARenameTheStoreRefusesPutsThePictureBackUnderItsOldName) {
  TMainForm& form = OpenStore({{"precious", 16, 16, 0x20A040}, {"other", 8, 8, 0x111111}});
  ClickRow(ListTexts(form.KeyList()).indexOf(QStringLiteral("precious")));
  const std::vector<uint8_t> before = StoredItem(store_, "precious");
  prompts_.QueueInput(QStringLiteral("zero") + QChar(0) + QStringLiteral("key"));
  form.RenamePicture();
  EXPECT_EQ(form.windowTitle(), Text(app_msg::kErrorCaption));
  ASSERT_EQ(prompts_.Errors().size(), 1u);
  EXPECT_TRUE(prompts_.Errors().front().contains(QStringLiteral("'precious'")));
  EXPECT_EQ(SelectedText(form.KeyList()), QStringLiteral("precious"));
  form.Action(TCommand::kClose).trigger();
  // The stored bytes themselves came back.
  EXPECT_EQ(StoredItem(store_, "precious"), before);
  EXPECT_EQ(StoreKeys(store_).size(), 2u);
}

TEST_F(PictureCommandsTest, SavingWritesTheChosenFormatIntoTheChosenFolder) {
  const struct {
    const char* text;
    int format;
    const char* file;
    const char* magic;
  } cases[] = {
      {"holiday", 2, "holiday.gif", "GIF89a"},
      {"holiday", 0, "holiday.jpg", "\xFF\xD8\xFF"},
      {"holiday", 1, "holiday.bmp", "BM"},
      {"a.jpg", 0, "a.jpg.jpg", "\xFF\xD8\xFF"},  // the extension is always appended
      // Names never lead out of the folder (typed paths are refused, see below).
      {".", 1, "__.bmp", "BM"},
      {"..", 1, "___.bmp", "BM"},
  };
  TMainForm& form = OpenStore({{"holiday", 20, 10, 0x3080F0}});
  const QString folder = Path(QStringLiteral("exports/inner"));
  ASSERT_TRUE(QDir().mkpath(folder));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    prompts_.QueueDialog([&](QDialog& dialog) {
      auto& save = dynamic_cast<TSaveAs&>(dialog);
      EXPECT_EQ(save.Edit1().text(), QStringLiteral("holiday"));
      EXPECT_TRUE(save.ChooseFolder(folder));
      save.Edit1().setText(QString::fromUtf8(c.text));
      save.ComboBox1().setCurrentIndex(c.format);
      return static_cast<int>(QDialog::Accepted);
    });
    form.Action(TCommand::kSaveButton).trigger();
    ASSERT_TRUE(prompts_.Errors().empty()) << prompts_.Errors().front().toStdString();
    QFile file(folder + QLatin1Char('/') + QString::fromUtf8(c.file));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().startsWith(c.magic));
  }
  EXPECT_EQ(QDir::currentPath(), QDir(folder).absolutePath());
  // Nothing was written outside the chosen folder.
  EXPECT_EQ(QDir(Path(QStringLiteral("exports"))).entryList(QDir::Files), QStringList());
}

TEST_F(PictureCommandsTest, ATypedPathIsRefusedAndAKeysSlashBecomesAnUnderscore) {
  TMainForm& form = OpenStore({{"sub/dir", 20, 10, 0x3080F0}});
  const QString folder = Path(QStringLiteral("exports"));
  ASSERT_TRUE(QDir().mkpath(folder));
  ClickRow(0);
  // OK in the dialog: a typed path keeps it open with a message; the key as proposed is taken.
  const struct {
    QString typed;
    bool refused;
  } cases[] = {
      {Path(QStringLiteral("elsewhere/x")), true},
      {QStringLiteral("../up"), true},
      {QStringLiteral("sub/dir"), false},  // the proposed key itself
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed.toStdString());
    prompts_.ClearRecord();
    prompts_.QueueDialog([&](QDialog& dialog) {
      auto& save = dynamic_cast<TSaveAs&>(dialog);
      EXPECT_TRUE(save.ChooseFolder(folder));
      save.ComboBox1().setCurrentIndex(1);
      save.Edit1().setText(c.typed);
      save.setResult(QDialog::Rejected);
      save.OkButton().click();
      EXPECT_EQ(save.result(), c.refused ? QDialog::Rejected : QDialog::Accepted);
      // The user gives up after a refusal; the command must not save either way.
      return c.refused ? static_cast<int>(QDialog::Accepted) : save.result();
    });
    form.Action(TCommand::kSaveButton).trigger();
    if (c.refused) {
      // Told once by the dialog and once by the command that would have saved it.
      ASSERT_EQ(prompts_.Errors().size(), 2u);
      EXPECT_EQ(prompts_.Errors().front(), Text(app_msg::kSaveNameIsPath).arg(c.typed));
    } else {
      EXPECT_TRUE(prompts_.Errors().empty());
    }
  }
  EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("sub_dir.bmp")});
  EXPECT_FALSE(QFileInfo::exists(Path(QStringLiteral("elsewhere"))));
  EXPECT_FALSE(QFileInfo::exists(Path(QStringLiteral("up.bmp"))));
}

TEST_F(PictureCommandsTest, TransparentBackgroundIsOfferedOnlyForGif) {
  TSaveAs save(nullptr, [] { return std::vector<TDrive>{{"/", TDriveKind::kRoot}}; });
  save.show();
  for (int format : {0, 1, 2, 0}) {
    SCOPED_TRACE(format);
    save.ComboBox1().setCurrentIndex(format);
    EXPECT_EQ(save.CheckBox2().isVisible(), format == 2);
    EXPECT_EQ(save.CheckBox1().isVisible(), format == 2);
  }
  save.hide();
  QDir::setCurrent(QDir::tempPath());
}

TEST_F(PictureCommandsTest, JpegSavesUseTheTrackBarQuality) {
  TMainForm& form = OpenStore({{"q", 16, 16, 0x3080F0}});
  const QString folder = Path(QStringLiteral("out"));
  ASSERT_TRUE(QDir().mkpath(folder));
  prompts_.QueueDialog([&](QDialog& dialog) {
    auto& save = dynamic_cast<TSaveAs&>(dialog);
    save.ChooseFolder(folder);
    save.TrackBar1().setValue(35);
    EXPECT_EQ(save.QualityLabel().text(), QStringLiteral("35 %"));
    return static_cast<int>(QDialog::Accepted);
  });
  form.SavePicture();
  QFile file(folder + QStringLiteral("/q.jpg"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray bytes = file.readAll();
  EXPECT_EQ(QuantTables(std::vector<uint8_t>(bytes.begin(), bytes.end())), TablesAtQuality(35));
}

TEST_F(PictureCommandsTest, ACancelledOrFailedSaveWritesNothingAndAFailureIsShown) {
  TMainForm& form = OpenStore({{"pic", 8, 8, 0x3080F0}});
  const QString folder = Path(QStringLiteral("out"));
  ASSERT_TRUE(QDir().mkpath(folder));
  prompts_.QueueDialog([&](QDialog& dialog) {
    dynamic_cast<TSaveAs&>(dialog).ChooseFolder(folder);
    return static_cast<int>(QDialog::Rejected);
  });
  form.SavePicture();
  EXPECT_TRUE(prompts_.Messages().empty());
  // A name longer than the file system allows.
  prompts_.QueueDialog([&](QDialog& dialog) {
    auto& save = dynamic_cast<TSaveAs&>(dialog);
    save.ChooseFolder(folder);
    save.Edit1().setText(QString(300, QLatin1Char('n')));
    return static_cast<int>(QDialog::Accepted);
  });
  form.SavePicture();
  ASSERT_EQ(prompts_.Errors().size(), 1u);
  EXPECT_TRUE(
      prompts_.Errors().front().startsWith(QStringLiteral("The picture was not saved to ")));
  EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList());
}

TEST(SaveFileNameTest, NamesNeverLeaveTheirFolder) {
  const struct {
    QString text;
    QString name;
  } cases[] = {
      {QStringLiteral("holiday"), QStringLiteral("holiday")},
      {QStringLiteral("a/b"), QStringLiteral("a_b")},
      {QStringLiteral("/etc/passwd"), QStringLiteral("_etc_passwd")},
      {QStringLiteral("."), QStringLiteral("__")},
      {QStringLiteral(".."), QStringLiteral("___")},
      {QString(), QStringLiteral("_")},
      {QStringLiteral("..."), QStringLiteral("...")},
      {QStringLiteral("nul") + QChar(0), QStringLiteral("nul_")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.toStdString());
    EXPECT_EQ(SaveFileName(c.text), c.name);
    EXPECT_EQ(SavePath(QStringLiteral("/f"), c.text, QStringLiteral(".gif")),
              QStringLiteral("/f/") + c.name + QStringLiteral(".gif"));
  }
  EXPECT_EQ(SavePath(QStringLiteral("/"), QStringLiteral("x"), QStringLiteral(".bmp")),
            QStringLiteral("/x.bmp"));
}

TEST_F(PictureCommandsTest, TheSaveDialogStartsAsDescribedAndFollowsTheFormat) {
  const QString home = Path(QStringLiteral("home"));
  const QString folder = Path(QStringLiteral("home/pictures"));
  ASSERT_TRUE(QDir().mkpath(folder));
  QFile(folder + QStringLiteral("/existing.jpg")).open(QIODevice::WriteOnly);
  const std::vector<TDrive> drives = {{QFile::encodeName(home).toStdString(), TDriveKind::kHome},
                                      {"/", TDriveKind::kRoot}};
  TSaveAs save(nullptr, [&drives] { return drives; });
  EXPECT_EQ(save.windowTitle(), QStringLiteral("Save As...."));
  EXPECT_EQ(save.ComboBox1().currentIndex(), 0);
  EXPECT_EQ(save.ExtensionLabel().text(), QStringLiteral(".JPG"));
  EXPECT_EQ(save.TrackBar1().value(), 100);
  EXPECT_EQ(save.QualityLabel().text(), QStringLiteral("100 %"));
  EXPECT_EQ(save.TrackBar1().tickInterval(), 10);
  EXPECT_EQ(save.TrackBar1().pageStep(), 1);
  EXPECT_TRUE(save.CheckBox1().isChecked());
  EXPECT_FALSE(save.CheckBox2().isChecked());
  EXPECT_EQ(save.CheckBox2().text(), QStringLiteral("Transparant BackGround"));
  EXPECT_FALSE(save.windowFlags().testFlag(Qt::WindowCloseButtonHint));

  const struct {
    int index;
    const char* label;
    const char* extension;
  } formats[] = {{1, ".BMP", ".bmp"}, {2, ".GIF", ".gif"}, {0, ".JPG", ".jpg"}};
  for (const auto& f : formats) {
    SCOPED_TRACE(f.index);
    save.ComboBox1().setCurrentIndex(f.index);
    EXPECT_EQ(save.Pages().currentIndex(), f.index);
    EXPECT_EQ(save.ExtensionLabel().text(), QString::fromUtf8(f.label));
    EXPECT_EQ(save.Extension(), QString::fromUtf8(f.extension));
  }

  ASSERT_EQ(save.DriveCombo().count(), 2);
  EXPECT_EQ(save.DriveCombo().itemData(0).toString(), home);
  // Opening a folder makes it the current folder and shows its files on its drive.
  ASSERT_TRUE(save.ChooseFolder(folder));
  EXPECT_EQ(save.Folder(), folder);
  EXPECT_EQ(QDir::currentPath(), folder);
  EXPECT_EQ(save.DriveCombo().currentIndex(), 0);
  EXPECT_EQ(save.FileModel().filePath(save.FileList().rootIndex()), folder);
  EXPECT_EQ(save.DirModel().filePath(save.DirList().currentIndex()), folder);
  EXPECT_FALSE(save.ChooseFolder(Path(QStringLiteral("missing"))));
  EXPECT_EQ(save.Folder(), folder);
  // Choosing a drive opens its folder.
  save.DriveCombo().setCurrentIndex(1);
  emit save.DriveCombo().activated(1);
  EXPECT_EQ(save.Folder(), QStringLiteral("/"));
  EXPECT_EQ(QDir::currentPath(), QStringLiteral("/"));
  // Selecting a folder in the folder list opens it.
  save.ChooseFolder(home);
  save.DirList().setCurrentIndex(save.DirModel().index(folder));
  EXPECT_EQ(save.Folder(), folder);
  QDir::setCurrent(QDir::tempPath());
}

TEST_F(PictureCommandsTest, TheAboutBoxShowsTheStoreLinesAndOpensItsLinks) {
  TMainForm& form = MakeForm();
  std::vector<QUrl> opened;
  form.AboutBox().OpenUrl = [&opened](const QUrl& url) { opened.push_back(url); };
  for (TCommand command : {TCommand::kInfoButton, TCommand::kAbout}) {
    SCOPED_TRACE(static_cast<int>(command));
    prompts_.QueueDialog(PressOk([](QDialog& dialog) {
      auto& about = dynamic_cast<TAboutBox&>(dialog);
      EXPECT_EQ(about.windowTitle(), QStringLiteral("About"));
      EXPECT_EQ(about.VersionLine().text(), QStringLiteral("Version: 0.1"));
      // The author line is cut to 48 characters.
      const QString author = QStringLiteral("Author: Stillkeep picture store, (c) Quillmoor");
      EXPECT_EQ(about.AuthorLine().text(), author.left(48));
      EXPECT_EQ(about.HomePageLink().toolTip(), QStringLiteral("Visit the Homepage"));
      EXPECT_EQ(about.MailLink().toolTip(), QStringLiteral("Mail me!"));
      about.OpenHomePage();
      about.SendMail();
    }));
    EXPECT_TRUE(form.Action(command).isEnabled());
    form.Action(command).trigger();
  }
  EXPECT_EQ(opened, (std::vector<QUrl>{QUrl(QStringLiteral("https://stillkeep.org")),
                                       QUrl(QStringLiteral("mailto:support@stillkeep.org")),
                                       QUrl(QStringLiteral("https://stillkeep.org")),
                                       QUrl(QStringLiteral("mailto:support@stillkeep.org"))}));
  EXPECT_TRUE(prompts_.AllAnswersUsed());
}

TEST_F(PictureCommandsTest, EveryStoreCommandExistsAndFollowsTheStore) {
  TMainForm& form = MakeForm();
  const TCommand picture[] = {
      TCommand::kImageLoad,   TCommand::kImageDelete,  TCommand::kImageRename,
      TCommand::kImageSave,   TCommand::kAddButton,    TCommand::kDeleteButton,
      TCommand::kSaveButton,  TCommand::kRenameButton, TCommand::kBatchAdd,
      TCommand::kBatchDelete, TCommand::kBatchSave,    TCommand::kBatchScan,
      TCommand::kPassword,    TCommand::kPack,         TCommand::kKill};
  for (bool open : {false, true}) {
    SCOPED_TRACE(open);
    if (open) OpenThroughDialog(Path(QStringLiteral("new.skd")));
    for (TCommand command : picture) {
      EXPECT_TRUE(form.Available(command));
      EXPECT_EQ(form.Action(command).isEnabled(), open) << static_cast<int>(command);
    }
    EXPECT_TRUE(form.Action(TCommand::kAbout).isEnabled());
    EXPECT_TRUE(form.Button(TCommand::kInfoButton).isEnabled());
  }
}

TEST_F(PictureCommandsTest, CommandsWithoutASelectionDoNothing) {
  TMainForm& form = OpenStore({});
  form.RenamePicture();
  form.SavePicture();
  form.DeletePicture();
  EXPECT_TRUE(prompts_.Asked().size() == 1u);  // the open dialog only
  EXPECT_EQ(form.SizePanel().text(), QStringLiteral("0 kb"));
}

}  // namespace
}  // namespace sk::test

namespace sk::test {
namespace {

// A store whose second item's index record points past the end of the data: the store itself
// refuses to read it (GetItem raises), unlike an item whose bytes do not decode.
QString StoreWithDamagedRecord(const QString& path) {
  const std::vector<uint8_t> good = FramedJpeg(30, 20, 0x2050A0);
  const auto size = static_cast<int32_t>(good.size());
  const std::vector<uint8_t> container =
      Container(good, IndexSection({{"broken", size + 100, 50, 0}, {"good", 0, size, 0}}));
  WriteBytes(QFile::encodeName(path).toStdString(), container);
  return path;
}

TEST_F(PictureCommandsTest, AnItemTheStoreCannotReadClearsTheViewAndIsNeitherRenamedNorSaved) {
  store_ = StoreWithDamagedRecord(Path(QStringLiteral("damaged.skd")));
  TMainForm& form = MakeForm();
  OpenThroughDialog(store_);
  const int good = form.KeyList().Texts().indexOf(QStringLiteral("good"));
  const int broken = form.KeyList().Texts().indexOf(QStringLiteral("broken"));
  ASSERT_GE(good, 0);
  ASSERT_GE(broken, 0);
  ClickRow(good);
  ASSERT_TRUE(NearColour(CentreColour(form.Image().Bitmap()), 0x2050A0));
  prompts_.ClearRecord();
  ClickRow(broken);
  ASSERT_EQ(prompts_.Errors().size(), 1u);
  // Neither the picture nor the size of the key before stands for the damaged one.
  EXPECT_FALSE(NearColour(CentreColour(form.Image().Bitmap()), 0x2050A0));
  EXPECT_EQ(form.SizePanel().text(), QStringLiteral("0 kb"));
  EXPECT_EQ(form.PositionPanel().text(), QString::number(broken + 1) + QStringLiteral(" out of 2"));

  // Rename and Save refuse with a message, without a question and without touching the store.
  for (TCommand command : {TCommand::kImageRename, TCommand::kImageSave}) {
    SCOPED_TRACE(static_cast<int>(command));
    prompts_.ClearRecord();
    form.Action(command).trigger();
    ASSERT_EQ(prompts_.Errors().size(), 1u);
    EXPECT_TRUE(prompts_.Errors().front().startsWith(QStringLiteral("The picture \"broken\"")));
    std::vector<std::string> keys = Keys();
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(keys, (std::vector<std::string>{"broken", "good"}));
  }
  EXPECT_TRUE(QDir(Path(QString())).entryList({QStringLiteral("broken.*")}).isEmpty());
}

TEST_F(PictureCommandsTest, ATerminationSignalEndsTheProgramAsAnExitDoesWithoutAsking) {
  TMainForm& form = OpenStore({{"first"}});
  const QString photo = WriteJpeg(QStringLiteral("late.jpg"));
  // The signal arrives while the add waits in its name dialog: the add finishes first.
  prompts_.QueueOpenPictures({photo});
  prompts_.QueueDialog([&form](QDialog&) {
    form.EndOnSignal();
    EXPECT_TRUE(form.StoreOpen());
    return static_cast<int>(QDialog::Accepted);
  });
  prompts_.ClearRecord();
  form.Action(TCommand::kAddButton).trigger();
  EXPECT_FALSE(form.StoreOpen());
  EXPECT_TRUE(prompts_.Messages().empty());
  std::vector<std::string> keys = StoreKeys(store_);
  std::sort(keys.begin(), keys.end());
  EXPECT_EQ(keys, (std::vector<std::string>{"first", "late"}));
  EXPECT_EQ(RegistryRecentFiles(), QStringList{QFileInfo(store_).absoluteFilePath()});
}

}  // namespace
}  // namespace sk::test

namespace sk::test {
namespace {

// A store of count keys ("k000000", "k000001", ...) whose index records all share one picture, so
// that a store of 100,000 keys takes a moment to build.
void MakeLargeStore(const QString& path, int count) {
  const std::vector<uint8_t> body = FramedJpeg(16, 12, 0x506070);
  std::vector<TRecord> records;
  records.reserve(static_cast<size_t>(count));
  char key[16];
  for (int i = 0; i < count; ++i) {
    std::snprintf(key, sizeof key, "k%06d", i);
    records.push_back({key, 0, static_cast<int32_t>(body.size()), 0});
  }
  WriteBytes(QFile::encodeName(path).toStdString(), Container(body, IndexSection(records)));
}

TEST_F(PictureCommandsTest, AStoreOf100000KeysListsShowsAndSelectsAsASmallOneDoes) {
  constexpr int kCount = 100'000;
  store_ = Path(QStringLiteral("large.skd"));
  MakeLargeStore(store_, kCount);
  TMainForm& form = MakeForm();
  OpenThroughDialog(store_);
  TKeyListBox& list = form.KeyList();
  ASSERT_EQ(list.count(), kCount);
  EXPECT_EQ(list.currentRow(), 0);
  EXPECT_EQ(form.PositionPanel().text(), QStringLiteral("1 out of 100000"));
  EXPECT_TRUE(NearColour(CentreColour(form.Image().Bitmap()), 0x506070));

  // An add lands at its place in the store's order and is selected and shown.
  Add(WriteJpeg(QStringLiteral("k050000x.jpg")));
  ASSERT_EQ(list.count(), kCount + 1);
  EXPECT_EQ(SelectedText(list), QStringLiteral("k050000x"));
  EXPECT_EQ(list.currentRow(), 50'001);
  EXPECT_TRUE(NearColour(CentreColour(form.Image().Bitmap()), 0x3060C0));

  // A delete keeps the index.
  ClickRow(70'000);
  const QString doomed = list.Text(70'000);
  prompts_.QueueButton(TMsgDlgBtn::kYes);
  form.DeletePicture();
  EXPECT_EQ(list.count(), kCount);
  EXPECT_EQ(list.currentRow(), 70'000);
  EXPECT_NE(list.Text(70'000), doomed);

  // A rename selects the new name at its place.
  ClickRow(3);
  prompts_.QueueInput(QStringLiteral("k099999z"));
  form.RenamePicture();
  EXPECT_EQ(SelectedText(list), QStringLiteral("k099999z"));
  EXPECT_EQ(list.currentRow(), kCount - 1);
  EXPECT_EQ(form.PositionPanel().text(), QStringLiteral("100000 out of 100000"));

  // The list shows exactly the store's keys in the store's order.
  QStringList expected;
  for (const std::string& key : Keys()) expected.append(QString::fromStdString(key));
  EXPECT_EQ(list.Texts(), expected);
}

}  // namespace
}  // namespace sk::test

namespace sk::test {
namespace {

TEST_F(PictureCommandsTest, EscapeInTheNameDialogCancelsTheAdd) {
  TMainForm& form = OpenStore({{"first", 8, 8, 0x102030}});
  prompts_.QueueOpenPictures({WriteJpeg(QStringLiteral("photo.jpg"))});
  prompts_.QueueDialog([](QDialog& dialog) {
    // What Escape does in the real dialog.
    dialog.reject();
    return static_cast<int>(dialog.result());
  });
  form.AddPicture();
  EXPECT_EQ(Keys(), std::vector<std::string>{"first"});
  EXPECT_TRUE(prompts_.Messages().empty());
  EXPECT_EQ(SelectedText(form.KeyList()), QStringLiteral("first"));
  EXPECT_TRUE(NearColour(CentreColour(form.Image().Bitmap()), 0x102030));
}

}  // namespace
}  // namespace sk::test

namespace sk::test {
namespace {

// Makes every write into the temporary folder fail as a full disk does, while it lives.
struct TFullTemporaryFolder {
  TFullTemporaryFolder() {
    const std::string tmp = TempDirectory();
    SetFileFaultHook([tmp](std::string_view operation, const std::string& path) {
      return operation == "write" && path.rfind(tmp, 0) == 0 ? ENOSPC : 0;
    });
  }
  ~TFullTemporaryFolder() { SetFileFaultHook(nullptr); }
};

TEST_F(PictureCommandsTest, ARenameOnAFullTemporaryFolderLosesNothing) {
  TMainForm& form = OpenStore({{"precious", 16, 16, 0x20A040}, {"other"}});
  const std::vector<uint8_t> before = StoredItem(store_, "precious");
  ClickRow(ListTexts(form.KeyList()).indexOf(QStringLiteral("precious")));
  prompts_.QueueInput(QStringLiteral("renamed"));
  {
    const TFullTemporaryFolder full;
    form.RenamePicture();
  }
  ASSERT_EQ(prompts_.Errors().size(), 1u);
  EXPECT_TRUE(prompts_.Errors().front().contains(QStringLiteral("'precious'")));
  EXPECT_EQ(SelectedText(form.KeyList()), QStringLiteral("precious"));
  form.Action(TCommand::kClose).trigger();
  std::vector<std::string> keys = StoreKeys(store_);
  std::sort(keys.begin(), keys.end());
  EXPECT_EQ(keys, (std::vector<std::string>{"other", "precious"}));
  EXPECT_EQ(StoredItem(store_, "precious"), before);
}

}  // namespace
}  // namespace sk::test
