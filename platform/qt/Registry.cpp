// The settings registry: the key tree, its JSON form, path resolution and the atomic file write.
#include "platform/qt/Registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QSaveFile>
#include <QStandardPaths>
#include <algorithm>
#include <utility>
#include <vector>

namespace sk {

namespace registry_detail {

struct Value {
  QString name;
  TRegDataType type = TRegDataType::kString;
  QString text;         // kString
  uint32_t number = 0;  // kInteger
};

struct Key {
  QString name;
  std::vector<Value> values;
  std::vector<Key> subkeys;
};

}  // namespace registry_detail

namespace {

using registry_detail::Key;
using registry_detail::Value;

constexpr int kFormatVersion = 1;
constexpr qint64 kDWordMax = 0xFFFFFFFF;
const QString kVersionField = QStringLiteral("version");
const QString kCurrentUserField = QStringLiteral("HKEY_CURRENT_USER");
const QString kClassesRootField = QStringLiteral("HKEY_CLASSES_ROOT");

const QString& RootField(TRegRoot root) {
  return root == TRegRoot::kClassesRoot ? kClassesRootField : kCurrentUserField;
}
const QString kNameField = QStringLiteral("name");
const QString kValuesField = QStringLiteral("values");
const QString kKeysField = QStringLiteral("keys");
const QString kTypeField = QStringLiteral("type");
const QString kValueField = QStringLiteral("value");
const QString kStringType = QStringLiteral("sz");
const QString kIntegerType = QStringLiteral("dword");

bool SameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

template <typename Item>
auto FindByName(std::vector<Item>& items, const QString& name) {
  return std::find_if(items.begin(), items.end(),
                      [&](const Item& item) { return SameName(item.name, name); });
}

template <typename Item>
auto FindByName(const std::vector<Item>& items, const QString& name) {
  return std::find_if(items.begin(), items.end(),
                      [&](const Item& item) { return SameName(item.name, name); });
}

const Key* Resolve(const Key& root, const QStringList& names) {
  const Key* key = &root;
  for (const QString& name : names) {
    auto found = FindByName(key->subkeys, name);
    if (found == key->subkeys.end()) return nullptr;
    key = &*found;
  }
  return key;
}

Key* Resolve(Key& root, const QStringList& names) {
  return const_cast<Key*>(Resolve(std::as_const(root), names));
}

const Value* FindValue(const Key& key, const QString& name) {
  auto found = FindByName(key.values, name);
  return found == key.values.end() ? nullptr : &*found;
}

// --- Reading the file. Each parser returns false on anything that does not fit the format.

bool ParseValue(const QJsonValue& json, Value& value) {
  if (!json.isObject()) return false;
  const QJsonObject object = json.toObject();
  const QJsonValue name = object.value(kNameField);
  const QJsonValue type = object.value(kTypeField);
  const QJsonValue data = object.value(kValueField);
  if (!name.isString() || !type.isString()) return false;
  value.name = name.toString();
  if (type.toString() == kStringType) {
    if (!data.isString()) return false;
    value.type = TRegDataType::kString;
    value.text = data.toString();
    return true;
  }
  if (type.toString() == kIntegerType) {
    // toInteger gives the default for fractions and for numbers beyond 64 bits.
    const qint64 number = data.isDouble() ? data.toInteger(-1) : -1;
    if (number < 0 || number > kDWordMax) return false;
    value.type = TRegDataType::kInteger;
    value.number = static_cast<uint32_t>(number);
    return true;
  }
  return false;
}

bool ParseKey(const QJsonObject& object, bool is_root, Key& key) {
  if (!is_root) {
    const QJsonValue name = object.value(kNameField);
    if (!name.isString() || name.toString().isEmpty() || name.toString().contains(u'\\')) {
      return false;
    }
    key.name = name.toString();
  }
  // Absent lists mean empty ones; present ones must be arrays.
  const QJsonValue values = object.value(kValuesField);
  const QJsonValue keys = object.value(kKeysField);
  if ((!values.isUndefined() && !values.isArray()) || (!keys.isUndefined() && !keys.isArray())) {
    return false;
  }
  for (const QJsonValue& item : values.toArray()) {
    Value value;
    if (!ParseValue(item, value)) return false;
    if (FindValue(key, value.name) != nullptr) return false;
    key.values.push_back(std::move(value));
  }
  for (const QJsonValue& item : keys.toArray()) {
    Key subkey;
    if (!item.isObject() || !ParseKey(item.toObject(), false, subkey)) return false;
    if (FindByName(key.subkeys, subkey.name) != key.subkeys.end()) return false;
    key.subkeys.push_back(std::move(subkey));
  }
  return true;
}

bool ParseDocument(const QByteArray& bytes, const QString& root_field, Key& root) {
  QJsonParseError error;
  const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
  if (error.error != QJsonParseError::NoError || !document.isObject()) return false;
  const QJsonObject object = document.object();
  if (object.value(kVersionField).toInteger(-1) != kFormatVersion) return false;
  const QJsonValue tree = object.value(root_field);
  return tree.isObject() && ParseKey(tree.toObject(), true, root);
}

// --- Writing the file.

QJsonObject KeyToJson(const Key& key, bool is_root) {
  QJsonArray values;
  for (const Value& value : key.values) {
    QJsonObject item;
    item.insert(kNameField, value.name);
    if (value.type == TRegDataType::kString) {
      item.insert(kTypeField, kStringType);
      item.insert(kValueField, value.text);
    } else {
      item.insert(kTypeField, kIntegerType);
      item.insert(kValueField, static_cast<qint64>(value.number));
    }
    values.append(item);
  }
  QJsonArray keys;
  for (const Key& subkey : key.subkeys) keys.append(KeyToJson(subkey, false));
  QJsonObject object;
  if (!is_root) object.insert(kNameField, key.name);
  object.insert(kValuesField, values);
  object.insert(kKeysField, keys);
  return object;
}

QByteArray DocumentBytes(const Key& root, const QString& root_field) {
  QJsonObject object;
  object.insert(kVersionField, kFormatVersion);
  object.insert(root_field, KeyToJson(root, true));
  return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

// Writes bytes to a temporary file beside path, flushes it to disk and renames it over path, so
// path holds either its old or its new contents. failure_pattern gets path and the reason.
void WriteAtomically(const QString& path, const QByteArray& bytes, const char* failure_pattern) {
  const QString folder = QFileInfo(path).absolutePath();
  if (!QDir().mkpath(folder)) {
    throw ERegistryException(
        FormatRegMessage(failure_pattern, {path, QStringLiteral("cannot create ") + folder}));
  }
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
    const QString reason = file.errorString();
    file.cancelWriting();
    throw ERegistryException(FormatRegMessage(failure_pattern, {path, reason}));
  }
}

}  // namespace

QString FormatRegMessage(const char* pattern, std::initializer_list<QString> args) {
  const QString text = QString::fromUtf8(pattern);
  const QString place = QStringLiteral("%s");
  QString result;
  qsizetype from = 0;
  auto arg = args.begin();
  // Scanning the pattern, not the result, keeps a "%s" inside an argument as it is.
  for (qsizetype at = text.indexOf(place); at >= 0 && arg != args.end();
       at = text.indexOf(place, from)) {
    result += QStringView(text).mid(from, at - from);
    result += *arg++;
    from = at + place.size();
  }
  result += QStringView(text).mid(from);
  return result;
}

TRegistry::TRegistry(QString file_path, TRegRoot root)
    : file_path_(std::move(file_path)), hive_(root), root_(std::make_unique<Key>()) {
  Load();
}

TRegistry::~TRegistry() = default;

QString TRegistry::DefaultPath() {
  // Re-read at each call: QStandardPaths consults XDG_CONFIG_HOME and HOME every time.
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QStringLiteral("/Quillmoor/registry.json");
}

QString TRegistry::ClassesRootPath() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QStringLiteral("/Quillmoor/classes.json");
}

void TRegistry::Load() {
  if (!QFileInfo::exists(file_path_)) return;  // first run
  // Anything else than a readable, well-formed file (a folder in its place, no permission, bad
  // JSON, a wrong shape) starts an empty tree; the file is kept until it is copied aside.
  Key root;
  QFile file(file_path_);
  bool ok = file.open(QIODevice::ReadOnly);
  if (ok) {
    const QByteArray bytes = file.readAll();
    ok = file.error() == QFileDevice::NoError && ParseDocument(bytes, RootField(hive_), root);
  }
  if (ok) {
    *root_ = std::move(root);
  } else {
    damaged_ = true;
    backup_pending_ = true;
  }
}

void TRegistry::Commit(std::unique_ptr<Key> root) {
  if (backup_pending_ && QFileInfo::exists(file_path_)) {
    QFile damaged(file_path_);
    QByteArray bytes;
    bool ok = damaged.open(QIODevice::ReadOnly);
    if (ok) {
      bytes = damaged.readAll();
      ok = damaged.error() == QFileDevice::NoError;
    }
    if (!ok) {
      throw ERegistryException(
          FormatRegMessage(reg_msg::kBackupFailed, {file_path_, BackupPath()}));
    }
    WriteAtomically(BackupPath(), bytes, reg_msg::kWriteFailed);
  }
  backup_pending_ = false;
  WriteAtomically(file_path_, DocumentBytes(*root, RootField(hive_)), reg_msg::kWriteFailed);
  root_ = std::move(root);
}

bool TRegistry::Target(const QString& path, QStringList& names) const {
  const bool absolute = path.startsWith(u'\\');
  if (!absolute && CurrentKey() == nullptr) return false;
  names = absolute ? QStringList() : current_;
  names += path.split(u'\\', Qt::SkipEmptyParts);
  return true;
}

const Key* TRegistry::CurrentKey() const { return Resolve(*root_, current_); }

const Key& TRegistry::CurrentKeyOrThrow() const {
  const Key* key = CurrentKey();
  if (key == nullptr) {
    throw ERegistryException(FormatRegMessage(reg_msg::kKeyDeleted, {CurrentPath()}));
  }
  return *key;
}

bool TRegistry::OpenKey(const QString& path, bool can_create) {
  QStringList names;
  if (!Target(path, names)) return false;
  QStringList spelled;
  const Key* key = root_.get();
  qsizetype depth = 0;
  for (; depth < names.size(); ++depth) {
    auto found = FindByName(key->subkeys, names[depth]);
    if (found == key->subkeys.end()) break;
    key = &*found;
    spelled.append(key->name);
  }
  if (depth < names.size()) {
    if (!can_create) return false;
    auto root = std::make_unique<Key>(*root_);
    Key* parent = Resolve(*root, spelled);
    for (; depth < names.size(); ++depth) {
      parent->subkeys.push_back(Key{names[depth], {}, {}});
      parent = &parent->subkeys.back();
      spelled.append(names[depth]);
    }
    Commit(std::move(root));
  }
  current_ = spelled;
  return true;
}

void TRegistry::CloseKey() { current_.clear(); }

QString TRegistry::CurrentPath() const { return u'\\' + current_.join(u'\\'); }

bool TRegistry::KeyExists(const QString& path) const {
  QStringList names;
  return Target(path, names) && Resolve(*root_, names) != nullptr;
}

bool TRegistry::DeleteKey(const QString& path) {
  QStringList names;
  if (!Target(path, names)) return false;
  if (names.isEmpty()) throw ERegistryException(QString::fromUtf8(reg_msg::kRootNotDeletable));
  if (Resolve(*root_, names) == nullptr) return false;
  auto root = std::make_unique<Key>(*root_);
  const QString last = names.takeLast();
  Key* parent = Resolve(*root, names);
  parent->subkeys.erase(FindByName(parent->subkeys, last));
  Commit(std::move(root));
  return true;
}

QStringList TRegistry::GetKeyNames() const {
  QStringList names;
  if (const Key* key = CurrentKey()) {
    for (const Key& subkey : key->subkeys) names.append(subkey.name);
  }
  return names;
}

bool TRegistry::ValueExists(const QString& name) const {
  return GetDataType(name) != TRegDataType::kNone;
}

TRegDataType TRegistry::GetDataType(const QString& name) const {
  const Key* key = CurrentKey();
  const Value* value = key != nullptr ? FindValue(*key, name) : nullptr;
  return value != nullptr ? value->type : TRegDataType::kNone;
}

QStringList TRegistry::GetValueNames() const {
  QStringList names;
  if (const Key* key = CurrentKey()) {
    for (const Value& value : key->values) names.append(value.name);
  }
  return names;
}

QString TRegistry::ReadString(const QString& name) const {
  const Value* value = FindValue(CurrentKeyOrThrow(), name);
  if (value == nullptr) throw ERegistryException(FormatRegMessage(reg_msg::kNoValue, {name}));
  if (value->type != TRegDataType::kString) {
    throw ERegistryException(FormatRegMessage(reg_msg::kInvalidDataType, {name}));
  }
  return value->text;
}

uint32_t TRegistry::ReadDWord(const QString& name) const {
  const Value* value = FindValue(CurrentKeyOrThrow(), name);
  if (value == nullptr) throw ERegistryException(FormatRegMessage(reg_msg::kNoValue, {name}));
  if (value->type != TRegDataType::kInteger) {
    throw ERegistryException(FormatRegMessage(reg_msg::kInvalidDataType, {name}));
  }
  return value->number;
}

int32_t TRegistry::ReadInteger(const QString& name) const {
  // Conversion to a signed type is modular in C++20: the same 32 bits.
  return static_cast<int32_t>(ReadDWord(name));
}

void TRegistry::WriteString(const QString& name, const QString& value) {
  WriteValue(name, TRegDataType::kString, value, 0);
}

void TRegistry::WriteInteger(const QString& name, int32_t value) {
  WriteValue(name, TRegDataType::kInteger, {}, static_cast<uint32_t>(value));
}

void TRegistry::WriteDWord(const QString& name, uint32_t value) {
  WriteValue(name, TRegDataType::kInteger, {}, value);
}

void TRegistry::WriteValue(const QString& name, TRegDataType type, const QString& text,
                           uint32_t number) {
  CurrentKeyOrThrow();
  auto root = std::make_unique<Key>(*root_);
  Key* key = Resolve(*root, current_);
  auto found = FindByName(key->values, name);
  if (found == key->values.end()) {
    key->values.push_back(Value{name, type, text, number});
  } else {
    found->type = type;
    found->text = text;
    found->number = number;
  }
  Commit(std::move(root));
}

bool TRegistry::DeleteValue(const QString& name) {
  if (FindValue(CurrentKeyOrThrow(), name) == nullptr) return false;
  auto root = std::make_unique<Key>(*root_);
  Key* key = Resolve(*root, current_);
  key->values.erase(FindByName(key->values, name));
  Commit(std::move(root));
  return true;
}

}  // namespace sk
