// Tests of what outlives a run: the preferences read at start and edited in the preferences
// dialog, the auto-load of the most recent store, and the recent-files list with its "Reopen"
// submenu and registry entries.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSlider>
#include <QTextBrowser>
#include <map>

#include "app/HelpWindow.h"
#include "app/KeyListBox.h"
#include "app/Preferences.h"
#include "app/Prompts.h"
#include "platform/qt/Registry.h"
#include "tests/app/AppTestSupport.h"
#include "view/Image.h"

namespace sk::test {
namespace {

const QString kNotFound =
    QStringLiteral("The File you selected could not be found!\r\rMaybe it was moved?");

using SettingsTest = TAppTest;

TEST_F(SettingsTest, FirstRunUsesTheDefaults) {
  TMainForm& form = MakeForm();
  EXPECT_EQ(form.Quality(), 75);
  EXPECT_EQ(form.ViewStyle(), 0);
  EXPECT_FALSE(form.AutoStart());
  EXPECT_EQ(form.ViewStylePanel().text(), QStringLiteral("Fit"));
  EXPECT_EQ(form.MRU().Submenu(), nullptr);
  EXPECT_TRUE(prompts_.Asked().empty());
}

TEST_F(SettingsTest, PreferencesAreReadAtStart) {
  const struct {
    const char* name;
    const char* quality;
    const char* view_style;
    int32_t auto_start;
    int expected_quality;
    int expected_view_style;
    bool expected_auto_start;
    const char* panel;
    const char* error;  // the error box shown, if any
  } cases[] = {
      {"stored values", "40", "1", 1, 40, 1, true, "Original", nullptr},
      {"any non-zero is true", "100", "0", -1, 100, 0, true, "Fit", nullptr},
      {"other view style shows as original", "0", "2", 0, 0, 2, false, "Original", nullptr},
      {"quality not a number", "abc", "0", 0, 75, 0, false, "Fit",
       "'abc' is not a valid integer value"},
      {"view style not a number", "75", "1.5", 0, 75, 0, false, "Fit",
       "'1.5' is not a valid integer value"},
      {"quality out of range is clamped", "250", "0", 0, 100, 0, false, "Fit", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    prompts_.ClearRecord();
    WritePreference(QStringLiteral("Quality"), QString::fromUtf8(c.quality));
    WritePreference(QStringLiteral("ViewStyle"), QString::fromUtf8(c.view_style));
    WritePreference(QStringLiteral("AutoStart"), c.auto_start);
    TMainForm& form = MakeForm(/*show=*/false);
    EXPECT_EQ(form.Quality(), c.expected_quality);
    EXPECT_EQ(form.ViewStyle(), c.expected_view_style);
    EXPECT_EQ(form.AutoStart(), c.expected_auto_start);
    EXPECT_EQ(form.ViewStylePanel().text(), QString::fromUtf8(c.panel));
    if (c.error != nullptr) {
      ASSERT_EQ(prompts_.Errors().size(), 1u);
      EXPECT_EQ(prompts_.Errors().front(), QString::fromUtf8(c.error));
    } else {
      EXPECT_TRUE(prompts_.Errors().empty());
    }
    DestroyForm();
  }
}

TEST_F(SettingsTest, AValueOfTheWrongTypeIsReportedAndTheDefaultUsed) {
  WritePreference(QStringLiteral("AutoStart"), QStringLiteral("yes"));
  WritePreference(QStringLiteral("Quality"), 60);
  TMainForm& form = MakeForm(/*show=*/false);
  EXPECT_FALSE(form.AutoStart());
  EXPECT_EQ(form.Quality(), 75);
  EXPECT_EQ(prompts_.Errors(),
            (std::vector<QString>{QStringLiteral("Invalid data type for 'Quality'"),
                                  QStringLiteral("Invalid data type for 'AutoStart'")}));
}

TEST_F(SettingsTest, CancellingThePreferencesWritesNothing) {
  TMainForm& form = MakeForm();
  const QByteArray before = RegistryBytes();
  ASSERT_FALSE(before.isEmpty());
  prompts_.QueueDialog([](QDialog& dialog) {
    auto& preferences = dynamic_cast<TPreferences&>(dialog);
    preferences.TrackBar().setValue(10);
    preferences.AutoLoad().setChecked(true);
    preferences.OriginalButton().setChecked(true);
    return static_cast<int>(QDialog::Rejected);
  });
  form.Action(TCommand::kPreferences).trigger();
  EXPECT_TRUE(prompts_.AllAnswersUsed());
  EXPECT_EQ(RegistryBytes(), before);
  EXPECT_EQ(form.Quality(), 75);
  EXPECT_FALSE(form.AutoStart());
  EXPECT_EQ(form.ViewStyle(), 0);
  EXPECT_EQ(form.ViewStylePanel().text(), QStringLiteral("Fit"));
}

TEST_F(SettingsTest, AcceptedPreferencesAreWrittenAndAppliedAtOnce) {
  const QString path = Path(QStringLiteral("big.skd"));
  MakeStore(path, {{"big", 2000, 1500, 0x506070}});
  TMainForm& form = MakeForm();
  OpenThroughDialog(path);
  ASSERT_LT(form.Image().Zoom(), 100);

  form.ToggleViewStyle();  // the toggled style is what the dialog shows
  form.ToggleViewStyle();
  prompts_.QueueDialog([](QDialog& dialog) {
    auto& preferences = dynamic_cast<TPreferences&>(dialog);
    EXPECT_EQ(preferences.windowTitle(), QStringLiteral("Preferences"));
    EXPECT_EQ(preferences.Quality(), 75);
    EXPECT_EQ(preferences.QualityLabel().text(), QStringLiteral("75 %"));
    EXPECT_FALSE(preferences.AutoStart());
    EXPECT_TRUE(preferences.FitButton().isChecked());
    EXPECT_EQ(preferences.Language(), QStringLiteral("English"));
    preferences.TrackBar().setValue(42);
    EXPECT_EQ(preferences.QualityLabel().text(), QStringLiteral("42 %"));
    preferences.AutoLoad().setChecked(true);
    preferences.OriginalButton().setChecked(true);
    return static_cast<int>(QDialog::Accepted);
  });
  form.Action(TCommand::kPreferences).trigger();

  EXPECT_EQ(form.Quality(), 42);
  EXPECT_TRUE(form.AutoStart());
  EXPECT_EQ(form.ViewStyle(), 1);
  EXPECT_EQ(form.ViewStylePanel().text(), QStringLiteral("Original"));
  EXPECT_EQ(form.Image().Zoom(), 100);  // the picture follows the new style at once

  TRegistry registry(RegistryFile());
  ASSERT_TRUE(
      registry.OpenKey(QStringLiteral("\\Software\\Quillmoor\\Stillkeep\\Preferences"), false));
  EXPECT_EQ(registry.ReadString(QStringLiteral("Quality")), QStringLiteral("42"));
  EXPECT_EQ(registry.ReadString(QStringLiteral("ViewStyle")), QStringLiteral("1"));
  EXPECT_EQ(registry.ReadString(QStringLiteral("Language")), QStringLiteral("English"));
  EXPECT_EQ(registry.GetDataType(QStringLiteral("AutoStart")), TRegDataType::kInteger);
  EXPECT_EQ(registry.ReadInteger(QStringLiteral("AutoStart")), 1);

  // A new run reads them back.
  DestroyForm();
  TMainForm& again = MakeForm(/*show=*/false);
  EXPECT_EQ(again.Quality(), 42);
  EXPECT_EQ(again.ViewStyle(), 1);
  EXPECT_TRUE(again.AutoStart());
}

TEST_F(SettingsTest, AutoLoadAtStart) {
  const QString existing = Path(QStringLiteral("last.skd"));
  MakeStore(existing, {{"alpha", 20, 10, 0x202020}, {"beta", 10, 20, 0x404040}});
  const QString empty_store = Path(QStringLiteral("empty.skd"));
  MakeStore(empty_store, {});
  const struct {
    const char* name;
    bool auto_start;
    QStringList recent;
    bool opens;
    int keys;
    const char* message;  // the message shown, if any
    const char* last_file;
  } cases[] = {
      {"auto-start off", false, {existing}, false, 0, nullptr, nullptr},
      {"empty list", true, {}, false, 0, nullptr, nullptr},
      {"stale entry",
       true,
       {Path(QStringLiteral("gone.skd")), existing},
       false,
       0,
       "not found",
       nullptr},
      {"store with keys", true, {existing}, true, 2, nullptr, "last.skd"},
      {"store without keys", true, {empty_store}, true, 0, nullptr, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    prompts_.ClearRecord();
    {
      TRegistry registry(RegistryFile());
      registry.DeleteKey(QStringLiteral("\\Software"));
      registry.OpenKey(QStringLiteral("\\Software\\Quillmoor\\Stillkeep\\Menu"), true);
      for (int i = 0; i < c.recent.size(); ++i) {
        registry.WriteString(QStringLiteral("F%1").arg(i), c.recent[i]);
      }
    }
    WritePreference(QStringLiteral("AutoStart"), c.auto_start ? 1 : 0);
    TMainForm& form = MakeForm();
    EXPECT_EQ(form.StoreOpen(), c.opens);
    EXPECT_EQ(form.KeyList().count(), c.keys);
    if (c.message != nullptr) {
      EXPECT_EQ(prompts_.Messages(), std::vector<QString>{kNotFound});
    } else {
      EXPECT_TRUE(prompts_.Messages().empty());
    }
    if (c.keys > 0) {
      EXPECT_EQ(form.KeyList().currentRow(), 0);
      EXPECT_EQ(form.PositionPanel().text(), QStringLiteral("1 out of 2"));
    } else if (c.opens) {
      // The store's file name stands in the position panel until a picture is shown.
      EXPECT_EQ(form.PositionPanel().text(), QStringLiteral("empty.skd"));
    }
    const std::optional<QString> last = ReadPreferenceString(QStringLiteral("LastFile"));
    if (c.last_file != nullptr) {
      EXPECT_EQ(last, Path(QString::fromUtf8(c.last_file)));
    } else {
      EXPECT_EQ(last, std::nullopt);
    }
    EXPECT_EQ(form.MRU().Items(), c.recent);  // auto-load leaves the list as it is
    DestroyForm();
  }
}

TEST_F(SettingsTest, TheTenMostRecentStoresAreKeptMostRecentFirst) {
  TMainForm& form = MakeForm();
  QStringList opened;
  for (int i = 0; i < 11; ++i) {
    opened.prepend(Path(QStringLiteral("store%1.skd").arg(i)));
    OpenThroughDialog(opened.front());
  }
  opened.removeLast();
  EXPECT_EQ(form.MRU().Items(), opened);
  EXPECT_EQ(RegistryRecentFiles(), opened);  // kept at once, not only at exit
  ASSERT_NE(form.MRU().Submenu(), nullptr);
  EXPECT_EQ(form.MRU().Submenu()->title(), QStringLiteral("Reopen"));
  const QList<QAction*> items = form.MRU().Submenu()->actions();
  ASSERT_EQ(items.size(), 10);
  EXPECT_TRUE(items.front()->text().startsWith(QStringLiteral("&1 ")));
  EXPECT_TRUE(items.back()->text().startsWith(QStringLiteral("&10 ")));
  // The submenu stands directly after "&Open / New Database".
  const QList<QAction*> file = form.Menu(TMenuId::kFile).actions();
  ASSERT_GE(file.size(), 2);
  EXPECT_EQ(file[0], &form.Action(TCommand::kOpen));
  EXPECT_EQ(file[1]->menu(), form.MRU().Submenu());

  // Reopening the third entry moves it to the top.
  const QString third = opened[2];
  items[2]->trigger();
  QCoreApplication::processEvents();
  EXPECT_EQ(form.MRU().Items().front(), third);
  EXPECT_EQ(form.MRU().Items().size(), 10);
  EXPECT_EQ(QFile::decodeName(QByteArray::fromStdString(form.KES().FileName())), third);

  form.Action(TCommand::kClose).trigger();
  prompts_.QueueButton(TMsgDlgBtn::kYes);
  ASSERT_TRUE(form.close());
  QStringList expected = opened;
  expected.move(2, 0);
  EXPECT_EQ(RegistryRecentFiles(), expected);
}

TEST_F(SettingsTest, ReopeningAMissingStoreRemovesItsEntry) {
  TMainForm& form = MakeForm();
  const QString kept = Path(QStringLiteral("kept.skd"));
  const QString lost = Path(QStringLiteral("lost.skd"));
  OpenThroughDialog(lost);
  OpenThroughDialog(kept);
  form.Action(TCommand::kClose).trigger();
  ASSERT_TRUE(QFile::remove(lost));

  form.MRU().Submenu()->actions()[1]->trigger();
  QCoreApplication::processEvents();
  EXPECT_EQ(prompts_.Messages(), std::vector<QString>{kNotFound});
  EXPECT_FALSE(form.StoreOpen());
  EXPECT_EQ(form.MRU().Items(), QStringList{kept});
  ASSERT_NE(form.MRU().Submenu(), nullptr);
  EXPECT_EQ(form.MRU().Submenu()->actions().size(), 1);

  DestroyForm();
  EXPECT_EQ(RegistryRecentFiles(), QStringList{kept});
}

TEST_F(SettingsTest, LongPathsAreShortenedInTheSubmenu) {
  TMainForm& form = MakeForm();
  const QString path =
      Path(QStringLiteral("a-rather-long-folder-name/another-long-folder-name/"
                          "yet-another-folder/store-with-a-long-name.skd"));
  ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
  OpenThroughDialog(path);
  const QString caption = form.MRU().Captions().front();
  EXPECT_TRUE(caption.startsWith(QStringLiteral("&1 ")));
  EXPECT_TRUE(caption.contains(QStringLiteral("...")));
  EXPECT_TRUE(caption.endsWith(QStringLiteral("store-with-a-long-name.skd")));
  EXPECT_EQ(form.MRU().Items().front(), path);  // the entry itself is the whole path
}

TEST_F(SettingsTest, HelpOpensAtTheTopicOfItsContext) {
  TMainForm& form = MakeForm();
  EXPECT_EQ(form.HelpWindow(), nullptr);
  form.Action(TCommand::kContents).trigger();
  ASSERT_NE(form.HelpWindow(), nullptr);
  EXPECT_TRUE(form.HelpWindow()->isVisible());
  EXPECT_EQ(form.HelpWindow()->Browser().source(), HelpTopicUrl(kHelpContents));
  EXPECT_FALSE(form.HelpWindow()->Browser().toPlainText().isEmpty());

  prompts_.QueueDialog([&form](QDialog& dialog) {
    dynamic_cast<TPreferences&>(dialog).HelpButton().click();
    EXPECT_EQ(form.HelpWindow()->Browser().source().fragment(), QStringLiteral("context-23"));
    EXPECT_TRUE(form.HelpWindow()->isVisible());
    return static_cast<int>(QDialog::Rejected);
  });
  form.Action(TCommand::kPreferences).trigger();
  EXPECT_TRUE(prompts_.AllAnswersUsed());
}

TEST_F(SettingsTest, TheHelpDocumentHasATopicForEveryContext) {
  QFile document(QStringLiteral(":/help/stillkeep.html"));
  TMainForm& form = MakeForm(/*show=*/false);  // loads the program's resources
  (void)form;
  ASSERT_TRUE(document.open(QIODevice::ReadOnly));
  const QString html = QString::fromUtf8(document.readAll());
  for (int context : {kHelpContents, kHelpSaveAs, kHelpPreferences}) {
    SCOPED_TRACE(context);
    EXPECT_TRUE(html.contains(QStringLiteral("<a name=\"context-%1\"></a>").arg(context)));
  }
}

// The text of the help topic that starts at anchor, up to the next anchor.
QString HelpTopic(const QString& html, const QString& anchor) {
  const QString start = QStringLiteral("<a name=\"%1\"></a>").arg(anchor);
  const qsizetype from = html.indexOf(start);
  if (from < 0) return QString();
  const qsizetype to = html.indexOf(QStringLiteral("<a name="), from + start.size());
  return html.mid(from, to < 0 ? -1 : to - from).simplified();
}

// A menu item's text as the help names it: without the access key's "&" and trailing dots.
QString ItemText(const QString& text) {
  QString plain = text;
  plain.remove(QLatin1Char('&'));
  while (plain.endsWith(QLatin1Char('.'))) plain.chop(1);
  return plain;
}

TEST_F(SettingsTest, HelpDescribesEveryMenuCommandAndOnlyThose) {
  TMainForm& form = MakeForm(/*show=*/false);
  QFile document(QStringLiteral(":/help/stillkeep.html"));
  ASSERT_TRUE(document.open(QIODevice::ReadOnly));
  const QString html = QString::fromUtf8(document.readAll()).simplified();
  // Every command of the menus is named ("<b>Menu &gt; Item</b>") in the topic of its anchor.
  std::map<QString, QStringList> offered;  // menu -> items, as the help names them
  for (TMenuId id :
       {TMenuId::kFile, TMenuId::kImage, TMenuId::kBatch, TMenuId::kDatabase, TMenuId::kHelp}) {
    const QString menu = ItemText(form.Menu(id).title());
    for (QAction* action : form.Menu(id).actions()) {
      if (action->isSeparator()) continue;
      offered[menu].append(ItemText(action->text()));
    }
  }
  int described = 0;
  for (int i = 0; i <= static_cast<int>(TCommand::kAbout); ++i) {
    const auto command = static_cast<TCommand>(i);
    SCOPED_TRACE(i);
    const QString item = ItemText(form.Action(command).text());
    QString menu;
    for (TMenuId id :
         {TMenuId::kFile, TMenuId::kImage, TMenuId::kBatch, TMenuId::kDatabase, TMenuId::kHelp}) {
      if (form.Menu(id).actions().contains(&form.Action(command))) {
        menu = ItemText(form.Menu(id).title());
      }
    }
    ASSERT_FALSE(menu.isEmpty()) << item.toStdString();
    ASSERT_TRUE(form.Available(command)) << item.toStdString();
    const QString topic = HelpTopic(html, HelpAnchor(command));
    EXPECT_TRUE(topic.contains(QStringLiteral("<b>%1 &gt; %2</b>").arg(menu, item)))
        << menu.toStdString() << " > " << item.toStdString();
    ++described;
  }
  EXPECT_EQ(described, 17);
  // Every command the help names is one the menus offer.
  const QRegularExpression named(QStringLiteral("<b>([^<]+) &gt; ([^<]+)</b>"));
  for (auto it = named.globalMatch(html); it.hasNext();) {
    const QRegularExpressionMatch match = it.next();
    SCOPED_TRACE(match.captured(0).toStdString());
    ASSERT_EQ(offered.count(match.captured(1)), 1u);
    EXPECT_TRUE(offered.at(match.captured(1)).contains(match.captured(2)));
  }
  // The contents link to every topic.
  for (const QString& anchor :
       {QStringLiteral("open"), QStringLiteral("image"), QStringLiteral("batch"),
        QStringLiteral("database"), QStringLiteral("exit"), QStringLiteral("about")}) {
    EXPECT_TRUE(html.contains(QStringLiteral("<a href=\"#%1\">").arg(anchor)))
        << anchor.toStdString();
  }
}

}  // namespace
}  // namespace sk::test
