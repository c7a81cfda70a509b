// Tests of the settings registry: what one object writes, a fresh object reads back from the file
// (types, exact 32-bit values, spelling, order); key paths; deletion; damaged and unwritable files.
#include "platform/qt/Registry.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

QT_BEGIN_NAMESPACE
// Lets failing expectations show QString and QStringList values.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* out) {
  *out << '{' << list.join(QStringLiteral(", ")).toStdString() << '}';
}
QT_END_NAMESPACE

namespace sk {
namespace {

const QString kPreferences = QStringLiteral("\\Software\\Quillmoor\\Stillkeep\\Preferences");

// The message of the ERegistryException that action raises, or a marker when it raises none.
std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const ERegistryException& error) {
    return error.what();
  }
  return "(no exception)";
}

std::string Message(const char* pattern, std::initializer_list<QString> args) {
  return FormatRegMessage(pattern, args).toStdString();
}

// Sets or unsets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<QString> value)
      : name_(name), was_set_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name)) {
    if (value) {
      qputenv(name, value->toUtf8());
    } else {
      qunsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (was_set_) {
      qputenv(name_, old_);
    } else {
      qunsetenv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  bool was_set_;
  QByteArray old_;
};

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

  QString Folder() const { return dir_.filePath(QStringLiteral("Quillmoor")); }
  QString Path() const { return Folder() + QStringLiteral("/registry.json"); }
  QString BackupPath() const { return Path() + QStringLiteral(".bad"); }

  // Everything in the registry's folder, hidden files included, by name.
  QStringList FolderEntries() const {
    return QDir(Folder()).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
  }

  static QByteArray Contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
  }

  void PutFile(const QByteArray& bytes) {
    ASSERT_TRUE(QDir().mkpath(Folder()));
    QFile file(Path());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
  }

  QTemporaryDir dir_;
};

const QString kNonAsciiPath =
    QString::fromUtf8("/home/zo\xc3\xab/Fotos \xe2\x80\x93 \xe5\x86\x99\xe7\x9c\x9f/vault.skd");

struct StoredValue {
  QString name;
  TRegDataType type;
  QString text;         // for strings
  uint32_t number;      // for integers
  bool written_signed;  // written with WriteInteger(int32_t) instead of WriteDWord
};

const StoredValue kStoredValues[] = {
    {QStringLiteral("Quality"), TRegDataType::kString, QStringLiteral("75"), 0, false},
    {QStringLiteral("AutoStart"), TRegDataType::kInteger, {}, 1, false},
    {QStringLiteral("Largest"), TRegDataType::kInteger, {}, 4294967295u, false},
    {QStringLiteral("MinusOne"), TRegDataType::kInteger, {}, 4294967295u, true},
    {QStringLiteral("LowestSigned"), TRegDataType::kInteger, {}, 0x80000000u, true},
    {QStringLiteral("Zero"), TRegDataType::kInteger, {}, 0, false},
    {QStringLiteral("LastFile"), TRegDataType::kString, kNonAsciiPath, 0, false},
    {QStringLiteral("Empty"), TRegDataType::kString, QString(), 0, false},
    {QString(), TRegDataType::kString, QStringLiteral("the key's unnamed value"), 0, false},
    {QStringLiteral("Digits"), TRegDataType::kString, QStringLiteral("4294967295"), 0, false},
};

TEST_F(RegistryTest, FreshInstanceReadsBackTypesValuesAndSpelling) {
  {
    TRegistry writer(Path());
    ASSERT_TRUE(writer.OpenKey(kPreferences, true));
    for (const StoredValue& value : kStoredValues) {
      if (value.type == TRegDataType::kString) {
        writer.WriteString(value.name, value.text);
      } else if (value.written_signed) {
        writer.WriteInteger(value.name, static_cast<int32_t>(value.number));
      } else {
        writer.WriteDWord(value.name, value.number);
      }
    }
  }

  TRegistry reader(Path());
  EXPECT_FALSE(reader.WasDamaged());
  ASSERT_TRUE(reader.OpenKey(kPreferences.toLower(), false));
  EXPECT_EQ(reader.CurrentPath(), kPreferences);
  QStringList names;
  for (const StoredValue& value : kStoredValues) names.append(value.name);
  EXPECT_EQ(reader.GetValueNames(), names);

  for (const StoredValue& value : kStoredValues) {
    SCOPED_TRACE(value.name.toStdString());
    const QString asked = value.name.toUpper();  // names compare without regard to case
    EXPECT_EQ(reader.GetDataType(asked), value.type);
    if (value.type == TRegDataType::kString) {
      EXPECT_EQ(reader.ReadString(asked), value.text);
      EXPECT_EQ(ErrorOf([&] { reader.ReadInteger(asked); }),
                Message(reg_msg::kInvalidDataType, {asked}));
      EXPECT_EQ(ErrorOf([&] { reader.ReadDWord(asked); }),
                Message(reg_msg::kInvalidDataType, {asked}));
    } else {
      EXPECT_EQ(reader.ReadDWord(asked), value.number);
      EXPECT_EQ(reader.ReadInteger(asked), static_cast<int32_t>(value.number));
      EXPECT_EQ(ErrorOf([&] { reader.ReadString(asked); }),
                Message(reg_msg::kInvalidDataType, {asked}));
    }
  }
  EXPECT_EQ(ErrorOf([&] { reader.ReadString(QStringLiteral("AutoStart")); }),
            "Invalid data type for 'AutoStart'");
  EXPECT_EQ(ErrorOf([&] { reader.ReadString(QStringLiteral("Missing")); }),
            "The value 'Missing' does not exist");

  // Every change went through a temporary file renamed over the target: nothing else is left.
  EXPECT_EQ(FolderEntries(), QStringList{QStringLiteral("registry.json")});
  const QByteArray bytes = Contents(Path());
  EXPECT_TRUE(bytes.contains("\"value\": 4294967295")) << bytes.toStdString();
  EXPECT_TRUE(bytes.contains(kNonAsciiPath.toUtf8())) << "strings are stored as UTF-8";
}

TEST_F(RegistryTest, ReadsFileInTheDocumentedShape) {
  // Written by hand, with empty lists left out and a non-ASCII name given as a JSON escape.
  PutFile(R"({
    "version": 1,
    "HKEY_CURRENT_USER": {
      "keys": [{"name": "Software", "keys": [{"name": "Quillmoor", "values": [
        {"name": "Count", "type": "dword", "value": 4294967295},
        {"name": "Caf\u00e9", "type": "sz", "value": "72"},
        {"name": "Flag", "type": "dword", "value": 1}
      ]}]}]
    }
  })");

  TRegistry registry(Path());
  EXPECT_FALSE(registry.WasDamaged());
  ASSERT_TRUE(registry.OpenKey(QStringLiteral("\\SOFTWARE\\quillmoor"), false));
  EXPECT_EQ(registry.CurrentPath(), QStringLiteral("\\Software\\Quillmoor"));
  EXPECT_EQ(registry.GetValueNames(),
            (QStringList{QStringLiteral("Count"), QString::fromUtf8("Caf\xc3\xa9"),
                         QStringLiteral("Flag")}));
  EXPECT_EQ(registry.ReadDWord(QStringLiteral("count")), 4294967295u);
  EXPECT_EQ(registry.ReadInteger(QStringLiteral("count")), -1);
  EXPECT_EQ(registry.ReadString(QString::fromUtf8("CAF\xc3\x89")), QStringLiteral("72"));
  EXPECT_EQ(registry.GetDataType(QStringLiteral("Flag")), TRegDataType::kInteger);
  EXPECT_TRUE(registry.GetKeyNames().isEmpty());
}

TEST_F(RegistryTest, WritesTheDocumentedShape) {
  {
    TRegistry registry(Path());
    ASSERT_TRUE(registry.OpenKey(QStringLiteral("\\Software"), true));
    registry.WriteDWord(QStringLiteral("Largest"), 4294967295u);
    registry.WriteString(QStringLiteral("Text"), QStringLiteral("75"));
  }
  const QJsonDocument document = QJsonDocument::fromJson(Contents(Path()));
  const QJsonObject expected{
      {"version", 1},
      {"HKEY_CURRENT_USER",
       QJsonObject{
           {"values", QJsonArray{}},
           {"keys",
            QJsonArray{QJsonObject{
                {"name", "Software"},
                {"values",
                 QJsonArray{
                     QJsonObject{{"name", "Largest"}, {"type", "dword"}, {"value", 4294967295LL}},
                     QJsonObject{{"name", "Text"}, {"type", "sz"}, {"value", "75"}}}},
                {"keys", QJsonArray{}}}}}}}};
  EXPECT_EQ(document.object(), expected) << Contents(Path()).toStdString();
}

TEST_F(RegistryTest, NamesIgnoreCaseAndKeepTheirFirstSpelling) {
  {
    TRegistry registry(Path());
    ASSERT_TRUE(registry.OpenKey(QStringLiteral("\\Software\\Quillmoor"), true));
    registry.WriteString(QStringLiteral("LastFile"), QStringLiteral("/a.skd"));
    registry.WriteDWord(QStringLiteral("LASTFILE"), 7);  // same value, now an integer
    ASSERT_TRUE(registry.OpenKey(QStringLiteral("\\SOFTWARE\\quillmoor\\Stillkeep"), true));
    EXPECT_EQ(registry.CurrentPath(), QStringLiteral("\\Software\\Quillmoor\\Stillkeep"));
  }
  TRegistry registry(Path());
  ASSERT_TRUE(registry.OpenKey(QStringLiteral("\\software\\QUILLMOOR"), false));
  EXPECT_EQ(registry.GetValueNames(), QStringList{QStringLiteral("LastFile")});
  EXPECT_EQ(registry.GetDataType(QStringLiteral("lastfile")), TRegDataType::kInteger);
  EXPECT_EQ(registry.ReadDWord(QStringLiteral("lastFile")), 7u);
  EXPECT_EQ(registry.GetKeyNames(), QStringList{QStringLiteral("Stillkeep")});
}

TEST_F(RegistryTest, EnumerationFollowsTheOrderOfFirstWriting) {
  const QString stillkeep = QStringLiteral("\\Software\\Quillmoor\\Stillkeep");
  QStringList entries;  // F0 .. F11: alphabetical order would put F10 and F11 after F1
  {
    TRegistry registry(Path());
    ASSERT_TRUE(registry.OpenKey(stillkeep + QStringLiteral("\\Menu"), true));
    for (int i = 0; i < 12; ++i) {
      entries.append(QStringLiteral("F%1").arg(i));
      registry.WriteString(entries.back(), QStringLiteral("/stores/%1.skd").arg(i));
    }
    registry.WriteString(QStringLiteral("f0"), QStringLiteral("/stores/again.skd"));
    ASSERT_TRUE(registry.OpenKey(stillkeep + QStringLiteral("\\Zeta"), true));
    ASSERT_TRUE(registry.OpenKey(stillkeep + QStringLiteral("\\Alpha"), true));
  }
  {
    TRegistry registry(Path());
    ASSERT_TRUE(registry.OpenKey(stillkeep, false));
    EXPECT_EQ(registry.GetKeyNames(), (QStringList{QStringLiteral("Menu"), QStringLiteral("Zeta"),
                                                   QStringLiteral("Alpha")}));
    ASSERT_TRUE(registry.OpenKey(QStringLiteral("Menu"), false));
    EXPECT_EQ(registry.GetValueNames(), entries);
    EXPECT_EQ(registry.ReadString(QStringLiteral("F0")), QStringLiteral("/stores/again.skd"));

    // Saving a shorter list: drop the subkey with its values and write it anew.
    ASSERT_TRUE(registry.OpenKey(stillkeep, false));
    EXPECT_TRUE(registry.DeleteKey(QStringLiteral("menu")));
    EXPECT_FALSE(registry.KeyExists(QStringLiteral("Menu")));
    ASSERT_TRUE(registry.OpenKey(QStringLiteral("Menu"), true));
    registry.WriteString(QStringLiteral("F0"), QStringLiteral("/stores/only.skd"));
  }
  TRegistry registry(Path());
  ASSERT_TRUE(registry.OpenKey(stillkeep, false));
  EXPECT_EQ(registry.GetKeyNames(),
            (QStringList{QStringLiteral("Zeta"), QStringLiteral("Alpha"), QStringLiteral("Menu")}));
  ASSERT_TRUE(registry.OpenKey(QStringLiteral("Menu"), false));
  EXPECT_EQ(registry.GetValueNames(), QStringList{QStringLiteral("F0")});
}

TEST_F(RegistryTest, KeyPathsAreAbsoluteOrRelativeToTheCurrentKey) {
  struct Step {
    const char* path;
    bool can_create;
    bool opened;
    const char* current;  // afterwards
  };
  const Step steps[] = {
      {"\\Software\\Quillmoor", false, false, "\\"},
      {"\\Software\\Quillmoor\\", true, true, "\\Software\\Quillmoor"},
      {"Stillkeep\\\\Menu", true, true, "\\Software\\Quillmoor\\Stillkeep\\Menu"},
      {"Software", false, false, "\\Software\\Quillmoor\\Stillkeep\\Menu"},
      {"\\software", false, true, "\\Software"},
      {"quillmoor\\STILLKEEP", false, true, "\\Software\\Quillmoor\\Stillkeep"},
      {"", false, true, "\\Software\\Quillmoor\\Stillkeep"},
      {"\\", false, true, "\\"},
  };
  TRegistry registry(Path());
  for (const Step& step : steps) {
    SCOPED_TRACE(step.path);
    EXPECT_EQ(registry.OpenKey(QString::fromUtf8(step.path), step.can_create), step.opened);
    EXPECT_EQ(registry.CurrentPath(), QString::fromUtf8(step.current));
    if (&step == &steps[0]) {
      EXPECT_FALSE(QFile::exists(Path())) << "a failed open must not write";
    }
  }
  ASSERT_TRUE(registry.OpenKey(QStringLiteral("\\Software\\Quillmoor\\Stillkeep"), false));
  EXPECT_TRUE(registry.KeyExists(QStringLiteral("MENU")));
  EXPECT_FALSE(registry.KeyExists(QStringLiteral("Software")));
  EXPECT_TRUE(registry.KeyExists(QStringLiteral("\\Software")));
  registry.CloseKey();
  EXPECT_EQ(registry.CurrentPath(), QStringLiteral("\\"));
  EXPECT_TRUE(registry.KeyExists(QStringLiteral("Software")));
}

TEST_F(RegistryTest, DeletesValuesAndKeys) {
  const QString stillkeep = QStringLiteral("\\Software\\Quillmoor\\Stillkeep");
  TRegistry registry(Path());
  ASSERT_TRUE(registry.OpenKey(stillkeep, true));
  registry.WriteString(QStringLiteral("Gone"), QStringLiteral("x"));
  registry.WriteDWord(QStringLiteral("Kept"), 3);
  EXPECT_TRUE(registry.DeleteValue(QStringLiteral("GONE")));
  EXPECT_FALSE(registry.DeleteValue(QStringLiteral("Gone")));
  EXPECT_EQ(registry.GetValueNames(), QStringList{QStringLiteral("Kept")});
  EXPECT_FALSE(registry.DeleteKey(QStringLiteral("\\Software\\Missing")));
  EXPECT_EQ(ErrorOf([&] { registry.DeleteKey(QStringLiteral("\\")); }), reg_msg::kRootNotDeletable);

  // The current key deleted from above: it stays current but holds nothing and takes nothing.
  EXPECT_TRUE(registry.DeleteKey(QStringLiteral("\\SOFTWARE\\Quillmoor")));
  EXPECT_EQ(registry.CurrentPath(), stillkeep);
  EXPECT_FALSE(registry.ValueExists(QStringLiteral("Kept")));
  EXPECT_TRUE(registry.GetValueNames().isEmpty());
  const std::string deleted = Message(reg_msg::kKeyDeleted, {stillkeep});
  EXPECT_EQ(ErrorOf([&] { registry.ReadDWord(QStringLiteral("Kept")); }), deleted);
  EXPECT_EQ(ErrorOf([&] { registry.WriteDWord(QStringLiteral("Kept"), 4); }), deleted);
  EXPECT_EQ(ErrorOf([&] { registry.DeleteValue(QStringLiteral("Kept")); }), deleted);
  EXPECT_FALSE(registry.OpenKey(QStringLiteral("Sub"), true));
  EXPECT_FALSE(registry.KeyExists(QStringLiteral("\\Software\\Quillmoor")));

  TRegistry fresh(Path());
  EXPECT_EQ(fresh.GetKeyNames(), QStringList{QStringLiteral("Software")});
  ASSERT_TRUE(fresh.OpenKey(QStringLiteral("\\Software"), false));
  EXPECT_TRUE(fresh.GetKeyNames().isEmpty());
}

// A JSON document with one key "K" under the root holding values_json.
QByteArray TreeWithValues(const char* values_json) {
  return QByteArray(R"({"version": 1, "HKEY_CURRENT_USER": {"keys": [{"name": "K", "values": [)") +
         values_json + "]}]}}";
}

TEST_F(RegistryTest, DamagedFileIsCopiedAsideBeforeTheFirstWrite) {
  struct Damaged {
    const char* what;
    QByteArray bytes;
  };
  const Damaged cases[] = {
      {"cut short", R"({"version": 1, "HKEY_CURRENT_USER": {"values": [)"},
      {"empty file", ""},
      {"not JSON, with a zero byte", QByteArray("\x00\x01garbage", 9)},
      {"invalid UTF-8 in a string", TreeWithValues("{\"name\": \"\xff\", \"type\": \"sz\", "
                                                   "\"value\": \"x\"}")},
      {"a list at the top", "[]"},
      {"unknown version", R"({"version": 2, "HKEY_CURRENT_USER": {}})"},
      {"no tree", R"({"version": 1})"},
      {"values not a list", R"({"version": 1, "HKEY_CURRENT_USER": {"values": {}}})"},
      {"unknown value type", TreeWithValues(R"({"name": "A", "type": "qword", "value": 1})")},
      {"negative dword", TreeWithValues(R"({"name": "A", "type": "dword", "value": -1})")},
      {"dword beyond 32 bits",
       TreeWithValues(R"({"name": "A", "type": "dword", "value": 4294967296})")},
      {"fractional dword", TreeWithValues(R"({"name": "A", "type": "dword", "value": 1.5})")},
      {"dword given as text", TreeWithValues(R"({"name": "A", "type": "dword", "value": "1"})")},
      {"string given as a number", TreeWithValues(R"({"name": "A", "type": "sz", "value": 1})")},
      {"value without a name", TreeWithValues(R"({"type": "sz", "value": "x"})")},
      {"names that differ only in case",
       TreeWithValues(R"({"name": "Quality", "type": "sz", "value": "1"},
                         {"name": "QUALITY", "type": "sz", "value": "2"})")},
      {"key name with a backslash",
       R"({"version": 1, "HKEY_CURRENT_USER": {"keys": [{"name": "A\\B"}]}})"},
      {"empty key name", R"({"version": 1, "HKEY_CURRENT_USER": {"keys": [{"name": ""}]}})"},
  };
  for (const Damaged& damaged : cases) {
    SCOPED_TRACE(damaged.what);
    ASSERT_TRUE(QDir(Folder()).removeRecursively());
    PutFile(damaged.bytes);

    TRegistry registry(Path());
    EXPECT_TRUE(registry.WasDamaged());
    EXPECT_TRUE(registry.GetKeyNames().isEmpty());
    EXPECT_TRUE(registry.GetValueNames().isEmpty());
    EXPECT_FALSE(registry.OpenKey(QStringLiteral("\\K"), false));
    EXPECT_EQ(Contents(Path()), damaged.bytes) << "reading never changes the file";

    ASSERT_TRUE(registry.OpenKey(kPreferences, true));
    registry.WriteString(QStringLiteral("Quality"), QStringLiteral("80"));
    EXPECT_EQ(Contents(BackupPath()), damaged.bytes);
    EXPECT_EQ(FolderEntries(),
              (QStringList{QStringLiteral("registry.json"), QStringLiteral("registry.json.bad")}));

    TRegistry fresh(Path());
    EXPECT_FALSE(fresh.WasDamaged());
    ASSERT_TRUE(fresh.OpenKey(kPreferences, false));
    EXPECT_EQ(fresh.ReadString(QStringLiteral("Quality")), QStringLiteral("80"));
    EXPECT_EQ(fresh.GetValueNames(), QStringList{QStringLiteral("Quality")});
  }
}

TEST_F(RegistryTest, LaterWritesKeepTheFirstBackup) {
  PutFile("{");
  TRegistry registry(Path());
  registry.WriteString(QStringLiteral("A"), QStringLiteral("1"));
  registry.WriteString(QStringLiteral("A"), QStringLiteral("2"));
  EXPECT_EQ(Contents(BackupPath()), QByteArray("{"));
}

TEST_F(RegistryTest, UnreadableFileIsNeverReplaced) {
  // A folder where the file should be: it can be neither read nor copied aside.
  ASSERT_TRUE(QDir().mkpath(Path() + QStringLiteral("/inside")));
  TRegistry registry(Path());
  EXPECT_TRUE(registry.WasDamaged());
  EXPECT_TRUE(registry.GetKeyNames().isEmpty());
  EXPECT_EQ(ErrorOf([&] { registry.OpenKey(kPreferences, true); }),
            Message(reg_msg::kBackupFailed, {Path(), BackupPath()}));
  EXPECT_EQ(registry.CurrentPath(), QStringLiteral("\\"));
  EXPECT_FALSE(registry.KeyExists(kPreferences));
  EXPECT_TRUE(QDir(Path()).exists(QStringLiteral("inside")));
  EXPECT_EQ(FolderEntries(), QStringList{QStringLiteral("registry.json")});
}

TEST_F(RegistryTest, FailedWriteChangesNothing) {
  // A plain file where the registry's folder should be.
  QFile blocker(Folder());
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();

  TRegistry registry(Path());
  EXPECT_FALSE(registry.WasDamaged());
  const std::string failure = ErrorOf([&] { registry.OpenKey(QStringLiteral("\\A"), true); });
  EXPECT_EQ(failure.rfind(Message(reg_msg::kWriteFailed, {Path(), QString()}), 0), 0u) << failure;
  EXPECT_EQ(registry.CurrentPath(), QStringLiteral("\\"));
  EXPECT_FALSE(registry.KeyExists(QStringLiteral("\\A")));
  EXPECT_NE(ErrorOf([&] { registry.WriteDWord(QStringLiteral("X"), 1); }), "(no exception)");
  EXPECT_FALSE(registry.ValueExists(QStringLiteral("X")));
  EXPECT_TRUE(QFileInfo(Folder()).isFile());
}

TEST_F(RegistryTest, DefaultPathFollowsTheEnvironment) {
  const QString config = dir_.filePath(QStringLiteral("config"));
  const QString home = dir_.filePath(QStringLiteral("home"));
  struct Case {
    const char* what;
    std::optional<QString> xdg_config_home;
    QString expected;
  };
  const Case cases[] = {
      {"XDG_CONFIG_HOME set", config, config + QStringLiteral("/Quillmoor/registry.json")},
      {"XDG_CONFIG_HOME unset", std::nullopt,
       home + QStringLiteral("/.config/Quillmoor/registry.json")},
      {"XDG_CONFIG_HOME empty", QString(),
       home + QStringLiteral("/.config/Quillmoor/registry.json")},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    ScopedEnv home_env("HOME", home);
    ScopedEnv config_env("XDG_CONFIG_HOME", test.xdg_config_home);
    EXPECT_EQ(TRegistry::DefaultPath(), test.expected);
  }
}

}  // namespace
}  // namespace sk
