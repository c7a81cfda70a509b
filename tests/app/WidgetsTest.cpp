// Tests of the program's parts that stand alone: the status gauge, path shortening for the
// recent-files menu, the password edit's character rule, key text conversion, the scripted
// prompts, and the application's last line of error handling.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPixmap>
#include <QPushButton>
#include <QRegion>
#include <QScreen>
#include <QScrollBar>
#include <QWidget>
#include <functional>
#include <memory>
#include <stdexcept>

#include "app/Application.h"
#include "app/KeyListBox.h"
#include "app/KeyText.h"
#include "app/MRUFileList.h"
#include "app/NewGauge.h"
#include "app/PasswordDlg.h"
#include "app/Prompts.h"
#include "app/ScriptedPrompts.h"
#include "store/KES.h"
#include "tests/app/AppTestSupport.h"

namespace sk::test {
namespace {

TEST(NewGaugeTest, FillWidthAndPercentUseIntegerMultiplyThenDivide) {
  const struct {
    int inner;
    int progress;
    int min;
    int max;
    int fill;
  } cases[] = {
      {100, 50, 0, 100, 50}, {97, 50, 0, 100, 48},
      {97, 100, 0, 100, 97}, {97, 0, 0, 100, 0},
      {10, 7, 5, 9, 5},      {10, 3, 3, 3, 0},
      {1000, 1, 0, 3, 333},  {2000000000, 3, 0, 4, 1500000000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.inner << " " << c.progress << " " << c.min << ".." << c.max);
    EXPECT_EQ(TNewGauge::FillWidth(c.inner, c.progress, c.min, c.max), c.fill);
  }
}

TEST(NewGaugeTest, ProgressIsClampedAndRepaintsOnlyWhenItChanges) {
  TNewGauge gauge;
  EXPECT_EQ(gauge.MaxValue(), 100);
  EXPECT_TRUE(gauge.ShowText());
  EXPECT_EQ(gauge.ForeColor(), QColor(0, 0, 128));
  EXPECT_EQ(gauge.BackColor(), QColor(Qt::white));
  gauge.SetProgress(150);
  EXPECT_EQ(gauge.Progress(), 100);
  EXPECT_EQ(gauge.PercentDone(), 100);
  gauge.SetProgress(-5);
  EXPECT_EQ(gauge.Progress(), 0);
  const int requests = gauge.RepaintRequests();
  gauge.SetProgress(-1);  // still 0 after clamping
  gauge.SetProgress(0);
  EXPECT_EQ(gauge.RepaintRequests(), requests);
  gauge.SetProgress(33);
  EXPECT_EQ(gauge.RepaintRequests(), requests + 1);

  gauge.SetMinValue(40);
  EXPECT_EQ(gauge.Progress(), 40);
  gauge.SetMaxValue(40);
  EXPECT_EQ(gauge.PercentDone(), 0);  // an empty range shows "0 %"
  gauge.SetMinValue(60);
  EXPECT_EQ(gauge.MaxValue(), 60);
}

TEST(NewGaugeTest, PaintsTheFilledPartInTheForeColourInsideASunkenEdge) {
  TNewGauge gauge;
  gauge.SetShowText(false);
  gauge.SetForeColor(QColor(200, 0, 0));
  gauge.SetBackColor(QColor(0, 200, 0));
  gauge.resize(104, 20);  // inner area 100 x 16
  gauge.SetProgress(25);
  const QImage image = gauge.grab().toImage();
  EXPECT_EQ(image.pixelColor(2, 10), QColor(200, 0, 0));    // first inner column
  EXPECT_EQ(image.pixelColor(26, 10), QColor(200, 0, 0));   // last filled column
  EXPECT_EQ(image.pixelColor(27, 10), QColor(0, 200, 0));   // first empty column
  EXPECT_EQ(image.pixelColor(101, 10), QColor(0, 200, 0));  // last inner column
  EXPECT_NE(image.pixelColor(0, 10), QColor(200, 0, 0));    // the edge
  EXPECT_NE(image.pixelColor(103, 10), QColor(0, 200, 0));

  // With the text shown, it takes the back colour over the filled part.
  gauge.SetShowText(true);
  gauge.SetProgress(100);
  const QImage full = gauge.grab().toImage();
  bool text_pixels = false;
  for (int x = 2; x < 102; ++x) {
    for (int y = 2; y < 18; ++y) text_pixels |= full.pixelColor(x, y) == QColor(0, 200, 0);
  }
  EXPECT_TRUE(text_pixels);
}

TEST(KeyListBoxTest, PaintsEachKeyAndHighlightsOnlyTheSelectedRow) {
  TKeyListBox box;
  std::vector<std::string> keys;
  for (int i = 0; i < 40; ++i) keys.push_back("holiday " + std::to_string(i));
  keys[3] += std::string(200, 'x');  // far wider than the list
  box.SetKeys(keys);
  box.resize(220, 300);
  box.show();
  box.setCurrentRow(2);
  const QImage image = box.grab().toImage();
  const QColor highlight = box.palette().color(QPalette::Active, QPalette::Highlight);
  const QColor text = box.palette().color(QPalette::Active, QPalette::Text);
  auto count = [&](int row, const QColor& colour) {
    const QRect rect = box.visualRect(box.Model().index(row)).translated(box.viewport()->pos());
    int n = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
      for (int x = rect.left(); x <= rect.right(); ++x) n += image.pixelColor(x, y) == colour;
    }
    return std::pair(n, rect.width() * rect.height());
  };
  for (const int row : {0, 1, 3, 10}) {
    SCOPED_TRACE(row);
    EXPECT_EQ(count(row, highlight).first, 0);
    EXPECT_GT(count(row, text).first, 10);  // the key's glyphs
  }
  const auto [highlighted, area] = count(2, highlight);
  EXPECT_GT(highlighted, area / 2);
  // The long key is cut at the list's edge with an ellipsis: its row is no denser than others.
  EXPECT_LT(count(3, text).first, 3 * count(13, text).first);
}

// Sends a key press to the list as the keyboard does.
void PressKey(TKeyListBox& box, int key, const QString& text = QString()) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
  QCoreApplication::sendEvent(&box, &press);
}

// Presses and releases the left button at a point of the list's viewport.
void ClickAt(TKeyListBox& box, const QPoint& point) {
  const QPointF local(point);
  const QPointF global(box.viewport()->mapToGlobal(point));
  QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QCoreApplication::sendEvent(box.viewport(), &press);
  QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QCoreApplication::sendEvent(box.viewport(), &release);
}

TEST(KeyListBoxTest, KeysAndClicksSelectRowsAsAListBoxDoes) {
  TKeyListBox box;
  std::vector<std::string> keys;
  for (int i = 0; i < 1000; ++i) keys.push_back("k" + std::to_string(1000 + i));
  box.SetKeys(keys);
  box.resize(200, 200);
  box.show();
  int changes = 0;
  QObject::connect(&box, &TKeyListBox::SelectionChanged, [&changes] { ++changes; });
  box.setFocus();
  box.setCurrentRow(0);
  const int page = box.viewport()->height() / box.visualRect(box.Model().index(0)).height();
  ASSERT_GT(page, 2);

  const struct {
    int key;
    int row;
  } moves[] = {
      {Qt::Key_Down, 1},   {Qt::Key_PageDown, 1 + page}, {Qt::Key_Up, page}, {Qt::Key_End, 999},
      {Qt::Key_Down, 999}, {Qt::Key_PageUp, 999 - page}, {Qt::Key_Home, 0},  {Qt::Key_Up, 0},
  };
  for (const auto& move : moves) {
    SCOPED_TRACE(move.row);
    PressKey(box, move.key);
    EXPECT_EQ(box.currentRow(), move.row);
    // The selected row is scrolled into view, wholly.
    const QRect rect = box.visualRect(box.Model().index(move.row));
    EXPECT_TRUE(box.viewport()->rect().contains(rect));
  }
  EXPECT_GE(changes, 6);

  // Typing a key's first characters finds it.
  PressKey(box, Qt::Key_K, QStringLiteral("k"));
  PressKey(box, Qt::Key_1, QStringLiteral("1"));
  PressKey(box, Qt::Key_5, QStringLiteral("5"));
  EXPECT_EQ(box.Text(box.currentRow()), QStringLiteral("k1500"));

  // A click selects the row under it, wherever the list is scrolled to.
  box.scrollTo(box.Model().index(300), QAbstractItemView::PositionAtTop);
  const QRect third = box.visualRect(box.Model().index(302));
  changes = 0;
  ClickAt(box, third.center());
  EXPECT_EQ(box.currentRow(), 302);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(box.indexAt(third.center()).row(), 302);

  // Below the last key, a click keeps the selection.
  box.SetKeys({"a", "b", "c"});
  box.setCurrentRow(1);
  ClickAt(box, QPoint(10, box.viewport()->height() - 2));
  EXPECT_EQ(box.currentRow(), 1);
}

class KeyListOverAStoreTest : public TAppTest {
 protected:
  // Opens a store of keys "k<first>", "k<first + step>", ... below end, and shows the list over
  // it, 200 x 300 pixels.
  void ShowStoreOf(int first, int end, int step) {
    std::vector<TTestItem> items;
    for (int i = first; i < end; i += step) items.push_back({"k" + std::to_string(i)});
    const QString path = Path(QStringLiteral("list.skd"));
    MakeStore(path, items);
    store_.SetFileName(QFile::encodeName(path).toStdString());
    box_.ShowStore(store_);
    box_.resize(200, 300);
    box_.show();
  }

  void TearDown() override {
    box_.SetKeys({});
    store_.SetFileName("");
    TAppTest::TearDown();
  }

  TKES store_;
  TKeyListBox box_;
};

// What the list shows on the screen, and what it shows when painted afresh, as images.
QImage OnScreen(TKeyListBox& box) {
  QCoreApplication::processEvents();
  return box.screen()->grabWindow(box.winId()).toImage().convertToFormat(QImage::Format_RGB32);
}
QImage Afresh(TKeyListBox& box) {
  return box.grab().toImage().convertToFormat(QImage::Format_RGB32);
}
// True when the screen shows what the list paints afresh (pending paints are done first).
bool ScreenIsFresh(TKeyListBox& box) {
  const QImage screen = OnScreen(box);
  return screen == Afresh(box);
}

TEST_F(KeyListOverAStoreTest, RowsReadTheStoreAndTheScreenFollowsEveryAddAndDelete) {
  ShowStoreOf(10, 90, 2);
  TKES& store = store_;
  TKeyListBox& box = box_;
  box.setCurrentRow(3);
  ASSERT_EQ(box.count(), 40);
  EXPECT_EQ(box.Text(5), QStringLiteral("k20"));
  ASSERT_TRUE(ScreenIsFresh(box));

  TMemoryStream body(FramedJpeg(8, 8, 0x102030));
  auto add = [&](const std::string& key) {
    store.AddItem(body, key);
    box.KeyInserted(store.IndexOfKey(key));
  };
  auto remove = [&](const std::string& key) {
    ASSERT_TRUE(store.FindKey(key));
    const int row = store.ItemIndex();
    store.Delete();
    box.KeyRemoved(row);
  };
  const struct {
    const char* name;
    std::function<void()> change;
  } changes[] = {
      {"delete in view", [&] { remove("k20"); }},
      {"add in view", [&] { add("k21"); }},
      {"delete of the first row", [&] { remove("k10"); }},
      {"add below the view", [&] { add("k87"); }},
      // The list is painted while the store is ahead of it, as a window that processes messages
      // during the store's Flush is.
      {"add painted early",
       [&] {
         store.AddItem(body, "k15");
         box.viewport()->repaint();
         box.KeyInserted(store.IndexOfKey("k15"));
       }},
      {"delete painted early",
       [&] {
         ASSERT_TRUE(store.FindKey("k16"));
         const int row = store.ItemIndex();
         store.Delete();
         box.viewport()->repaint();
         box.KeyRemoved(row);
       }},
  };
  for (const auto& change : changes) {
    SCOPED_TRACE(change.name);
    change.change();
    ASSERT_EQ(box.count(), store.Count());
    EXPECT_TRUE(ScreenIsFresh(box));
  }
  QStringList expected;
  for (int i = 0; i < store.Count(); ++i)
    expected.append(QString::fromStdString(std::string(store.KeyAt(i))));
  EXPECT_EQ(box.Texts(), expected);
}

TEST_F(KeyListOverAStoreTest, TheScrollBarIsPaintedAgainOnlyWhenItLooksDifferent) {
  ShowStoreOf(10000, 13000, 1);
  TKES& store = store_;
  TKeyListBox& box = box_;
  box.setCurrentRow(1500);
  ASSERT_TRUE(ScreenIsFresh(box));
  QScrollBar& bar = *box.verticalScrollBar();

  // One row less in 3,000 leaves the slider where it was: the bar is not painted.
  struct TPaints : QObject {
    int count = 0;
    bool eventFilter(QObject* watched, QEvent* event) override {
      if (event->type() == QEvent::Paint) ++count;
      return QObject::eventFilter(watched, event);
    }
  } paints;
  bar.installEventFilter(&paints);
  ASSERT_TRUE(store.FindKey("k11500"));
  store.Delete();
  box.KeyRemoved(1500);
  const QImage screen = OnScreen(box);
  EXPECT_EQ(paints.count, 0);
  EXPECT_EQ(screen, Afresh(box));  // (painting afresh paints the bar too)

  // At the end of its range, with a row added after the last one shown.
  box.scrollTo(box.Model().index(box.count() - 1));
  ASSERT_EQ(bar.value(), bar.maximum());
  ASSERT_TRUE(ScreenIsFresh(box));
  TMemoryStream body(FramedJpeg(8, 8, 0x102030));
  store.AddItem(body, "k99999");
  box.KeyInserted(store.Count() - 1);
  EXPECT_NE(bar.value(), bar.maximum());
  EXPECT_TRUE(ScreenIsFresh(box));
  bar.removeEventFilter(&paints);
}

TEST(MinimizeNameTest, EveryStageIsTheLongestThatFits) {
  QFont font;
  const QFontMetrics metrics(font);
  const QString path = QStringLiteral("/home/ann/pictures/cats.skd");
  const QString stages[] = {
      path,
      QStringLiteral("/.../ann/pictures/cats.skd"),
      QStringLiteral("/.../pictures/cats.skd"),
      QStringLiteral("/.../cats.skd"),
      QStringLiteral(".../cats.skd"),
      QStringLiteral("cats.skd"),
  };
  for (const QString& stage : stages) {
    SCOPED_TRACE(stage.toStdString());
    EXPECT_EQ(MinimizeName(path, font, metrics.horizontalAdvance(stage)), stage);
  }
}

TEST(MinimizeNameTest, EndsWithTheFileNameAndUnderstandsDrives) {
  QFont font;
  const QFontMetrics metrics(font);
  // Nothing fits: only the name is left.
  EXPECT_EQ(MinimizeName(QStringLiteral("/home/ann/cats.skd"), font, 1),
            QStringLiteral("cats.skd"));
  EXPECT_EQ(MinimizeName(QStringLiteral("/cats.skd"), font, 1), QStringLiteral("cats.skd"));
  EXPECT_EQ(MinimizeName(QStringLiteral("a/b/cats.skd"), font, 1), QStringLiteral("cats.skd"));
  const QString windows = QStringLiteral("C:\\Users\\ann\\cats.skd");
  for (const QString& stage :
       {QStringLiteral("C:\\...\\ann\\cats.skd"), QStringLiteral("C:\\...\\cats.skd"),
        QStringLiteral("...\\cats.skd"), QStringLiteral("cats.skd")}) {
    SCOPED_TRACE(stage.toStdString());
    EXPECT_EQ(MinimizeName(windows, font, metrics.horizontalAdvance(stage)), stage);
  }
}

TEST(PasswordEditTest, AcceptsOnlyWhatWindows1252CanHold) {
  const TWin1252Validator validator(5);
  const struct {
    const char* text;
    QValidator::State state;
  } cases[] = {
      {"", QValidator::Acceptable},      {"abc", QValidator::Acceptable},
      {"café€", QValidator::Acceptable}, {"Ωmega", QValidator::Invalid},
      {"日本", QValidator::Invalid},     {"toolong", QValidator::Invalid},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    QString text = QString::fromUtf8(c.text);
    int position = 0;
    EXPECT_EQ(validator.validate(text, position), c.state);
  }

  TPasswordDlg dialog;
  dialog.Edit().setText(QStringLiteral("café€"));
  EXPECT_EQ(dialog.Password(), std::string("caf\xE9\x80"));
  dialog.Edit().setText(QString(300, QLatin1Char('x')));
  ASSERT_TRUE(dialog.Password());
  EXPECT_EQ(dialog.Password()->size(), 255u);
  dialog.Edit().setText(QStringLiteral("Ω"));  // put there by the program, not typed
  EXPECT_EQ(dialog.Password(), std::nullopt);
}

TEST(KeyTextTest, KeysRoundTripBetweenWindows1252AndTheScreen) {
  const std::string keys[] = {"plain", "caf\xE9", "\x80uro", "\x81\x8D\x8F\x90\x9D",
                              std::string(255, 'k')};
  for (const std::string& key : keys) {
    EXPECT_EQ(TextToKey(KeyToText(key)), key);
  }
  EXPECT_EQ(KeyToText("caf\xE9"), QStringLiteral("café"));
  EXPECT_EQ(TextToKey(QStringLiteral("Ωmega")), "?mega");
  EXPECT_EQ(TextToKey(QString(300, QLatin1Char('x'))).size(), 255u);
}

TEST(PromptsTest, ThePictureFilterOffersEveryExtensionTheReadersTakeInBothCases) {
  const QString filter = OpenPictureFilter();
  const QString all = filter.section(QStringLiteral(";;"), 0, 0);
  EXPECT_TRUE(all.startsWith(QStringLiteral("ALL Files (")));
  for (const char* extension : {"bmp", "jpg", "jpeg", "tif", "tiff", "pcx", "gif", "wmf", "emf"}) {
    SCOPED_TRACE(extension);
    const QString lower = QStringLiteral("*.") + QString::fromUtf8(extension);
    EXPECT_TRUE(all.contains(lower + QLatin1Char(' ')) || all.contains(lower + QLatin1Char(')')));
    EXPECT_TRUE(all.contains(lower.toUpper()));
  }
  EXPECT_TRUE(filter.contains(QStringLiteral(";;JPEG Files (*.jpg *.JPG *.jpeg *.JPEG)")));
}

TEST(PromptsTest, MessageLineBreaksAreShownAsLines) {
  EXPECT_EQ(DisplayText(QStringLiteral("a\r\rb\r\nc")), QStringLiteral("a\n\nb\nc"));
}

TEST(PromptsTest, ScriptedPromptsRecordQuestionsAndRefuseUnscriptedOnes) {
  TScriptedPrompts prompts;
  prompts.QueueButton(TMsgDlgBtn::kYes);
  EXPECT_EQ(prompts.MessageDlg(QStringLiteral("q1"), TMsgDlgType::kConfirmation,
                               {TMsgDlgBtn::kYes, TMsgDlgBtn::kNo}),
            TMsgDlgBtn::kYes);
  EXPECT_EQ(prompts.MessageDlg(QStringLiteral("q2"), TMsgDlgType::kWarning,
                               {TMsgDlgBtn::kOk, TMsgDlgBtn::kCancel}),
            TMsgDlgBtn::kCancel);
  EXPECT_EQ(
      prompts.MessageDlg(QStringLiteral("note"), TMsgDlgType::kInformation, {TMsgDlgBtn::kOk}),
      TMsgDlgBtn::kOk);
  EXPECT_EQ(prompts.OpenStoreFile(), std::nullopt);
  EXPECT_EQ(prompts.InputBox(QStringLiteral("c"), QStringLiteral("p"), QStringLiteral("init")),
            QStringLiteral("init"));
  prompts.ShowError(QStringLiteral("boom"));
  EXPECT_EQ(prompts.Unexpected().size(), 3u);  // q2, the open dialog and the input box
  EXPECT_EQ(prompts.Messages(),
            (std::vector<QString>{QStringLiteral("q1"), QStringLiteral("q2"),
                                  QStringLiteral("note"), QStringLiteral("boom")}));
  EXPECT_EQ(prompts.Errors(), std::vector<QString>{QStringLiteral("boom")});
  EXPECT_TRUE(prompts.AllAnswersUsed());
}

// An object whose event handler fails.
class TFailingObject : public QObject {
 public:
  bool event(QEvent* event) override {
    if (event->type() == QEvent::User) throw std::runtime_error("caf\xE9 failed");
    return QObject::event(event);
  }
};

TEST(ApplicationTest, AFailureEscapingAHandlerIsShownAndTheProgramGoesOn) {
  auto* app = dynamic_cast<TApplication*>(QCoreApplication::instance());
  ASSERT_NE(app, nullptr);
  std::vector<QString> shown;
  app->ShowException = [&shown](const QString& message) { shown.push_back(message); };
  TFailingObject object;
  QEvent event(QEvent::User);
  EXPECT_FALSE(QCoreApplication::sendEvent(&object, &event));
  QCoreApplication::postEvent(&object, new QEvent(QEvent::User));
  QCoreApplication::processEvents();
  app->ShowException = nullptr;
  // The message is not UTF-8, so it is read as Windows-1252.
  EXPECT_EQ(shown,
            (std::vector<QString>{QStringLiteral("café failed"), QStringLiteral("café failed")}));
}

TEST(MessageBoxTest, LongTextsWrapTheTitleFitsAndTheBoxIsCentredOnTheWindow) {
  QWidget window;
  window.setGeometry(120, 80, 900, 700);
  window.show();
  QCoreApplication::processEvents();
  const QString path = QStringLiteral("/home/user/") + QString(30, QLatin1Char('x')) +
                       QStringLiteral("/pictures_from_the_summer_holiday_in_the_mountains/") +
                       QString(60, QLatin1Char('y')) + QStringLiteral(".jpg");
  const struct {
    const char* name;
    QString text;
  } cases[] = {
      {"short", QStringLiteral("OK?")},
      {"a long path", AboutSubject(QStringLiteral("An Error Occured While Loading File"), path)},
      {"long words", QString(400, QLatin1Char('w'))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::unique_ptr<QMessageBox> box =
        MakeMessageBox(c.text, TMsgDlgType::kWarning, {TMsgDlgBtn::kYes, TMsgDlgBtn::kNo},
                       TMsgDlgDefault::kSafe, &window);
    CentreOn(*box, &window);
    box->show();
    QCoreApplication::processEvents();
    const QFontMetrics metrics(box->font());
    // Never as wide as the text would make it in one line, nor narrower than the title.
    EXPECT_LE(box->width(), 45 * metrics.horizontalAdvance(QLatin1Char('M')) + 200);
    EXPECT_GE(box->width(), metrics.horizontalAdvance(box->windowTitle()));
    EXPECT_EQ(box->windowTitle(), QStringLiteral("Stillkeep 0.5"));
    const QPoint offset = box->frameGeometry().center() - window.frameGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 4) << offset.x() << "," << offset.y();
    EXPECT_EQ(static_cast<QAbstractButton*>(box->defaultButton()), box->button(QMessageBox::No));
    box->hide();
  }
  // Nothing visible is added to the text: only places to break.
  EXPECT_EQ(WrappableText(path).remove(QChar(0x200B)), path);
  EXPECT_EQ(AboutSubject(QStringLiteral("Delete?"), QStringLiteral("holiday")),
            QStringLiteral("Delete?\r\r'holiday'"));
}

}  // namespace
}  // namespace sk::test
