// The program's registry values.
#include "app/Settings.h"

#include <algorithm>
#include <exception>
#include <limits>

#include "app/Application.h"
#include "app/Messages.h"
#include "app/ScreenText.h"
#include "platform/qt/Registry.h"

namespace sk {

namespace {

QString PreferencesKey() {
  return Text(app_msg::kPreferencesKey);
}

}  // namespace

TSettings::TSettings(QString registry_file)
    : registry_file_(registry_file.isEmpty() ? TRegistry::DefaultPath()
                                             : std::move(registry_file)) {}

bool TSettings::SetupKey(TRegistry& registry, const QString& key_path) {
  registry.CloseKey();
  try {
    return registry.OpenKey(key_path, true);
  } catch (const ERegistryException&) {
    return false;
  }
}

bool TSettings::ReadBoolReg(const QString& key_path, const QString& name,
                            bool default_value) const {
  TRegistry registry(registry_file_);
  if (!SetupKey(registry, key_path) || !registry.ValueExists(name)) return default_value;
  return registry.ReadInteger(name) != 0;
}

QString TSettings::ReadStringReg(const QString& key_path, const QString& name,
                                 const QString& default_value) const {
  TRegistry registry(registry_file_);
  if (!SetupKey(registry, key_path) || !registry.ValueExists(name)) return default_value;
  return registry.ReadString(name);
}

void TSettings::WriteBoolReg(const QString& key_path, const QString& name, bool value) const {
  TRegistry registry(registry_file_);
  registry.OpenKey(key_path, true);
  registry.WriteInteger(name, value ? 1 : 0);
}

void TSettings::WriteStringReg(const QString& key_path, const QString& name,
                               const QString& value) const {
  TRegistry registry(registry_file_);
  registry.OpenKey(key_path, true);
  registry.WriteString(name, value);
}

TPreferenceValues TSettings::ReadPreferences(
    const std::function<void(const QString&)>& report) const {
  TPreferenceValues values;
  values.quality = ReadIntPreference(app_msg::kQualityValue, 75, 0, 100, report);
  try {
    values.auto_start = ReadBoolReg(PreferencesKey(), Text(app_msg::kAutoStartValue), false);
  } catch (const std::exception& error) {
    report(FailureText(error));
  }
  values.view_style =
      ReadIntPreference(app_msg::kViewStyleValue, 0, std::numeric_limits<int>::min(),
                        std::numeric_limits<int>::max(), report);
  return values;
}

int TSettings::ReadIntPreference(const char* name, int default_value, int min_value, int max_value,
                                 const std::function<void(const QString&)>& report) const {
  try {
    const QString text =
        ReadStringReg(PreferencesKey(), Text(name), QString::number(default_value));
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok) {
      report(Text(app_msg::kNotAnInteger).arg(text));
      return default_value;
    }
    return std::clamp(value, min_value, max_value);
  } catch (const std::exception& error) {
    report(FailureText(error));
    return default_value;
  }
}

void TSettings::WritePreferences(const TPreferenceValues& values, const QString& language) const {
  const QString key = PreferencesKey();
  WriteStringReg(key, Text(app_msg::kQualityValue), QString::number(values.quality));
  WriteStringReg(key, Text(app_msg::kLanguageValue), language);
  WriteStringReg(key, Text(app_msg::kViewStyleValue), QString::number(values.view_style));
  WriteBoolReg(key, Text(app_msg::kAutoStartValue), values.auto_start);
}

void TSettings::WriteLastFile(const QString& path) const {
  WriteStringReg(PreferencesKey(), Text(app_msg::kLastFileValue), path);
}

QByteArray TSettings::ReadWindowValue(const char* name) const {
  try {
    const QString text = ReadStringReg(Text(app_msg::kWindowKey), Text(name), QString());
    return QByteArray::fromBase64(text.toLatin1());
  } catch (const std::exception&) {
    return QByteArray();  // a damaged value: the window takes its first-run layout
  }
}

void TSettings::WriteWindowValue(const char* name, const QByteArray& value) const {
  WriteStringReg(Text(app_msg::kWindowKey), Text(name), QString::fromLatin1(value.toBase64()));
}

QByteArray TSettings::ReadWindowGeometry() const {
  return ReadWindowValue(app_msg::kGeometryValue);
}

void TSettings::WriteWindowGeometry(const QByteArray& geometry) const {
  WriteWindowValue(app_msg::kGeometryValue, geometry);
}

QByteArray TSettings::ReadWindowSplit() const {
  return ReadWindowValue(app_msg::kSplitValue);
}

void TSettings::WriteWindowSplit(const QByteArray& split) const {
  WriteWindowValue(app_msg::kSplitValue, split);
}

}  // namespace sk
