// The fixture of the picture and batch workflow tests: a store opened in the window, picture
// files to add, and the keys and texts the window shows.
#pragma once

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/KeyListBox.h"
#include "app/MainForm.h"
#include "app/NameDLG.h"
#include "imaging/ImageIO.h"
#include "store/KES.h"
#include "tests/app/AppTestSupport.h"

namespace sk::test {

// A dialog script that presses OK, after checking what the dialog shows when check is set.
inline TScriptedPrompts::TDialogScript PressOk(std::function<void(QDialog&)> check = nullptr) {
  return [check = std::move(check)](QDialog& dialog) {
    if (check) check(dialog);
    return static_cast<int>(QDialog::Accepted);
  };
}

inline QStringList ListTexts(const TKeyListBox& list) {
  return list.Texts();
}

inline QString SelectedText(const TKeyListBox& list) {
  const int row = list.currentRow();
  return row < 0 ? QString() : list.Text(row);
}

class TPictureWorkflowTest : public TAppTest {
 protected:
  void TearDown() override {
    QDir::setCurrent(saved_folder_);
    TAppTest::TearDown();
  }

  // A JPEG file of a solid colour.
  QString WriteJpeg(const QString& name, uint32_t rgb = 0x3060C0, int width = 24,
                    int height = 16) {
    const std::vector<uint8_t> framed = FramedJpeg(width, height, rgb);
    const QString path = Path(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(framed.data()) + JpegFrame::kSize,
               static_cast<qint64>(framed.size() - JpegFrame::kSize));
    return path;
  }

  // Opens a store of the given items.
  TMainForm& OpenStore(const std::vector<TTestItem>& items) {
    store_ = Path(QStringLiteral("pictures.skd"));
    MakeStore(store_, items);
    TMainForm& form = MakeForm();
    OpenThroughDialog(store_);
    return form;
  }

  // Adds file through the add command, keeping the proposed name (or typing name).
  void Add(const QString& file, const std::optional<QString>& name = std::nullopt) {
    prompts_.QueueOpenPictures({file});
    prompts_.QueueDialog(PressOk([name](QDialog& dialog) {
      if (name) dynamic_cast<TNameDLG&>(dialog).Edit().setText(*name);
    }));
    Form().Action(TCommand::kAddButton).trigger();
  }

  // The keys of the open store, as the program lists them after a flush.
  std::vector<std::string> Keys() {
    TStringList keys;
    Form().KES().GetKeys(keys);
    return keys.Items();
  }

  QString store_;
  QString saved_folder_ = QDir::currentPath();
};

}  // namespace sk::test
