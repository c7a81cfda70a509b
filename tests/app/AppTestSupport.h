// Helpers shared by the program's tests: the application object, a fixture that points the
// registry and the temporary folder at a fresh folder for every test, scripted prompts, and
// stores filled with small JPEG pictures.
#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/MainForm.h"
#include "app/ScriptedPrompts.h"
#include "imaging/Picture.h"

QT_BEGIN_NAMESPACE
// Lets failing expectations show QString values.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace sk::test {

// One picture of a test store: a solid colour (red, green, blue) of a given size, stored as a
// framed JPEG padded with zero bytes to pad_to bytes when that is larger.
struct TTestItem {
  std::string key;  // Windows-1252
  int width = 8;
  int height = 8;
  uint32_t rgb = 0x808080;
  size_t pad_to = 0;
};

// The bytes the program stores for a picture: a JpegFrame and the JPEG.
std::vector<uint8_t> FramedJpeg(int width, int height, uint32_t rgb);

// Creates the store file path with the items in order, protected when password is not empty.
void MakeStore(const QString& path, const std::vector<TTestItem>& items,
               const std::string& password = std::string());

// Waits up to 30 seconds until a store session's journal appears in the temporary folder tmp
// (its first Flush is done); false when none does.
bool WaitForJournal(const QString& tmp);

// The keys of the store file path in the store's order.
std::vector<std::string> StoreKeys(const QString& path, const std::string& password = {});

// The quantisation tables (DQT segments) of the JPEG in bytes, which tell the quality it was
// written at; and the tables our encoder writes at quality.
std::vector<uint8_t> QuantTables(const std::vector<uint8_t>& bytes);
std::vector<uint8_t> TablesAtQuality(int quality);

// The colour (red, green, blue) of the picture's centre pixel.
uint32_t CentreColour(const TPicture& picture);
// True when two colours differ by at most tolerance in each channel.
bool NearColour(uint32_t a, uint32_t b, int tolerance = 12);

class TAppTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A path inside this test's folder.
  QString Path(const QString& name) const;
  // The registry file the program uses in this test.
  QString RegistryFile() const;
  QByteArray RegistryBytes() const;

  // Writes a value under "\Software\Quillmoor\Stillkeep\Preferences".
  void WritePreference(const QString& name, const QString& value) const;
  void WritePreference(const QString& name, int32_t value) const;
  // The recent-files entries in the registry ("F0", "F1", ... of the "Menu" key), in order.
  QStringList RegistryRecentFiles() const;
  // The string value of a preference, or nothing when it is missing or not a string.
  std::optional<QString> ReadPreferenceString(const QString& name) const;

  // Builds the main window (which reads the registry); with show, shows it and lets its
  // start-up auto-load run.
  TMainForm& MakeForm(bool show = true);
  // Destroys the window (closing the store and saving the recent-files list).
  void DestroyForm();
  TMainForm& Form() { return *form_; }

  // Opens path through the open dialog.
  void OpenThroughDialog(const QString& path);
  // Selects a row of the key list as the user's click does.
  void ClickRow(int row);

  TScriptedPrompts prompts_;

 private:
  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<TMainForm> form_;
  struct TSavedEnv {
    const char* name;
    bool was_set;
    QByteArray value;
  };
  std::vector<TSavedEnv> saved_env_;
};

}  // namespace sk::test
