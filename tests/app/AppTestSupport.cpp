// Helpers shared by the program's tests.
#include "tests/app/AppTestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "app/Application.h"
#include "app/KeyListBox.h"
#include "imaging/ImageIO.h"
#include "platform/MemoryStream.h"
#include "platform/qt/Registry.h"
#include "store/KES.h"

namespace sk::test {

namespace {

// Drops the offscreen platform's notes that it has no window manager to pass size hints or
// stacking requests to, which every shown window would otherwise print.
void QuietMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.startsWith(QStringLiteral("This plugin does not support"))) return;
  const QByteArray text = qFormatLogMessage(type, context, message).toLocal8Bit();
  std::fprintf(stderr, "%s\n", text.constData());
}

// The application object for the whole test binary.
class TAppEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    qInstallMessageHandler(QuietMessages);
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<TApplication>(argc, argv);
  }
  void TearDown() override { app_.reset(); }

 private:
  std::unique_ptr<TApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new TAppEnvironment);

const QString kPreferences = QStringLiteral("\\Software\\Quillmoor\\Stillkeep\\Preferences");

}  // namespace

std::vector<uint8_t> FramedJpeg(int width, int height, uint32_t rgb) {
  TPicture picture(width, height);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = picture.Row(y);
    for (int x = 0; x < width; ++x) {
      row[3 * x] = static_cast<uint8_t>(rgb & 0xFF);
      row[3 * x + 1] = static_cast<uint8_t>(rgb >> 8 & 0xFF);
      row[3 * x + 2] = static_cast<uint8_t>(rgb >> 16 & 0xFF);
    }
  }
  TMemoryStream stream;
  EncodeFramedJpeg(stream, picture, TResolution{96, 96}, 90);
  return stream.TakeBytes();
}

void MakeStore(const QString& path, const std::vector<TTestItem>& items,
               const std::string& password) {
  TKES store;
  store.Password = password;
  store.OnDemandPassword = [&password](TKES&, TPassword& answer) { answer = password; };
  store.SetFileName(QFile::encodeName(path).toStdString());
  for (const TTestItem& item : items) {
    std::vector<uint8_t> bytes = FramedJpeg(item.width, item.height, item.rgb);
    if (bytes.size() < item.pad_to) bytes.resize(item.pad_to, 0);
    TMemoryStream stream(std::move(bytes));
    store.AddItem(stream, item.key);
  }
  store.Flush();
  store.SetFileName("");
}

std::vector<uint8_t> QuantTables(const std::vector<uint8_t>& bytes) {
  std::vector<uint8_t> tables;
  for (size_t i = 0; i + 3 < bytes.size(); ++i) {
    if (bytes[i] == 0xFF && bytes[i + 1] == 0xDB) {
      const size_t length = size_t{bytes[i + 2]} << 8 | bytes[i + 3];
      tables.insert(tables.end(), bytes.begin() + static_cast<long>(i) + 4,
                    bytes.begin() + static_cast<long>(std::min(bytes.size(), i + 2 + length)));
    }
    if (bytes[i] == 0xFF && bytes[i + 1] == 0xDA) break;
  }
  return tables;
}

std::vector<uint8_t> TablesAtQuality(int quality) {
  TPicture picture(8, 8);
  TMemoryStream stream;
  EncodeFramedJpeg(stream, picture, TResolution{96, 96}, quality);
  return QuantTables(stream.TakeBytes());
}

bool WaitForJournal(const QString& tmp) {
  auto journaled = [&tmp] {
    return !QDir(tmp).entryList({QStringLiteral("JNL*.tmp")}, QDir::Files).isEmpty();
  };
  for (int i = 0; i < 6000 && !journaled(); ++i) QThread::msleep(5);
  return journaled();
}

std::vector<std::string> StoreKeys(const QString& path, const std::string& password) {
  TKES store;
  store.OnDemandPassword = [&password](TKES&, TPassword& answer) { answer = password; };
  store.SetReadOnly(true);
  store.SetFileName(QFile::encodeName(path).toStdString());
  TStringList keys;
  store.GetKeys(keys);
  store.SetFileName("");
  return keys.Items();
}

uint32_t CentreColour(const TPicture& picture) {
  const uint8_t* pixel = picture.Row(picture.Height() / 2) + 3 * (picture.Width() / 2);
  return uint32_t{pixel[2]} << 16 | uint32_t{pixel[1]} << 8 | pixel[0];
}

bool NearColour(uint32_t a, uint32_t b, int tolerance) {
  for (int shift : {0, 8, 16}) {
    const int difference =
        static_cast<int>(a >> shift & 0xFF) - static_cast<int>(b >> shift & 0xFF);
    if (std::abs(difference) > tolerance) return false;
  }
  return true;
}

void TAppTest::SetUp() {
  dir_ = std::make_unique<QTemporaryDir>();
  ASSERT_TRUE(dir_->isValid());
  QDir(dir_->path()).mkpath(QStringLiteral("config"));
  QDir(dir_->path()).mkpath(QStringLiteral("home"));
  QDir(dir_->path()).mkpath(QStringLiteral("tmp"));
  QDir(dir_->path()).mkpath(QStringLiteral("data"));
  // The runtime folder is the user's own, as the desktop makes it.
  QDir(dir_->path()).mkpath(QStringLiteral("run"));
  QFile::setPermissions(Path(QStringLiteral("run")),
                        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  const std::pair<const char*, QString> env[] = {
      {"XDG_CONFIG_HOME", Path(QStringLiteral("config"))},
      {"HOME", Path(QStringLiteral("home"))},
      {"TMPDIR", Path(QStringLiteral("tmp"))},
      {"XDG_DATA_HOME", Path(QStringLiteral("data"))},
      {"XDG_RUNTIME_DIR", Path(QStringLiteral("run"))},
  };
  for (const auto& [name, value] : env) {
    saved_env_.push_back({name, qEnvironmentVariableIsSet(name), qgetenv(name)});
    qputenv(name, QFile::encodeName(value));
  }
}

void TAppTest::TearDown() {
  form_.reset();
  EXPECT_TRUE(prompts_.Unexpected().empty())
      << "first unexpected question: " << prompts_.Unexpected().front().toStdString();
  for (const TSavedEnv& saved : saved_env_) {
    if (saved.was_set) {
      qputenv(saved.name, saved.value);
    } else {
      qunsetenv(saved.name);
    }
  }
  saved_env_.clear();
  dir_.reset();
}

QString TAppTest::Path(const QString& name) const {
  return dir_->filePath(name);
}

QString TAppTest::RegistryFile() const {
  return TRegistry::DefaultPath();
}

QByteArray TAppTest::RegistryBytes() const {
  QFile file(RegistryFile());
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}

void TAppTest::WritePreference(const QString& name, const QString& value) const {
  TRegistry registry(RegistryFile());
  registry.OpenKey(kPreferences, true);
  registry.WriteString(name, value);
}

void TAppTest::WritePreference(const QString& name, int32_t value) const {
  TRegistry registry(RegistryFile());
  registry.OpenKey(kPreferences, true);
  registry.WriteInteger(name, value);
}

QStringList TAppTest::RegistryRecentFiles() const {
  TRegistry registry(RegistryFile());
  QStringList files;
  if (!registry.OpenKey(QStringLiteral("\\Software\\Quillmoor\\Stillkeep\\Menu"), false)) {
    return files;
  }
  for (int i = 0; registry.ValueExists(QStringLiteral("F%1").arg(i)); ++i) {
    files.append(registry.ReadString(QStringLiteral("F%1").arg(i)));
  }
  EXPECT_EQ(registry.GetValueNames().size(), files.size());
  return files;
}

std::optional<QString> TAppTest::ReadPreferenceString(const QString& name) const {
  TRegistry registry(RegistryFile());
  if (!registry.OpenKey(kPreferences, false)) return std::nullopt;
  if (registry.GetDataType(name) != TRegDataType::kString) return std::nullopt;
  return registry.ReadString(name);
}

TMainForm& TAppTest::MakeForm(bool show) {
  form_ = std::make_unique<TMainForm>(prompts_);
  if (show) {
    form_->show();
    // Delivers the queued start-up work (FormShow) and the layout of the shown window.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
  }
  return *form_;
}

void TAppTest::DestroyForm() {
  form_.reset();
}

void TAppTest::OpenThroughDialog(const QString& path) {
  prompts_.QueueOpenStore(path);
  form_->OpenStore();
}

void TAppTest::ClickRow(int row) {
  form_->KeyList().ClickRow(row);
}

}  // namespace sk::test
