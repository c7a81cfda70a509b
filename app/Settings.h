// TSettings: the program's values in the registry (the preferences under
// "\Software\Quillmoor\Stillkeep\Preferences"), read and written through TRegistry on one registry
// file, each call with a registry object of its own.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

namespace sk {

class TRegistry;

// The preferences in force for a run.
struct TPreferenceValues {
  int quality = 75;    // 0..100
  int view_style = 0;  // 0 fit to screen, 1 original size
  bool auto_start = false;
};

class TSettings {
 public:
  // registry_file: the settings registry (TRegistry::DefaultPath() when empty).
  explicit TSettings(QString registry_file = QString());

  const QString& RegistryFile() const { return registry_file_; }

  // Opens key_path (creating it); false when it cannot be opened or created.
  static bool SetupKey(TRegistry& registry, const QString& key_path);
  // The value when the key opens and the value exists, else the default. A value of the other
  // type raises ERegistryException ("Invalid data type for '%s'").
  bool ReadBoolReg(const QString& key_path, const QString& name, bool default_value) const;
  QString ReadStringReg(const QString& key_path, const QString& name,
                        const QString& default_value) const;
  // Write the value (a Boolean as the 32-bit integer 1 or 0); raise ERegistryException when the
  // registry cannot be written.
  void WriteBoolReg(const QString& key_path, const QString& name, bool value) const;
  void WriteStringReg(const QString& key_path, const QString& name, const QString& value) const;

  // Reads the quality (clamped to 0..100), the auto-load choice and the view style. A value that
  // cannot be read is reported through report (the registry's message, or "... is not a valid
  // integer value") and its default is used.
  TPreferenceValues ReadPreferences(const std::function<void(const QString&)>& report) const;
  // Writes the quality, language, view style and auto-load choice; raises ERegistryException.
  void WritePreferences(const TPreferenceValues& values, const QString& language) const;
  // Remembers the store opened last ("LastFile").
  void WriteLastFile(const QString& path) const;
  // The main window's size and position as the window saved them ("Geometry" under
  // "\Software\Quillmoor\Stillkeep\Window"), empty when none were saved or they cannot be read.
  QByteArray ReadWindowGeometry() const;
  void WriteWindowGeometry(const QByteArray& geometry) const;
  // The split between the key list and the picture ("Split"), likewise.
  QByteArray ReadWindowSplit() const;
  void WriteWindowSplit(const QByteArray& split) const;

 private:
  QByteArray ReadWindowValue(const char* name) const;
  void WriteWindowValue(const char* name, const QByteArray& value) const;
  int ReadIntPreference(const char* name, int default_value, int min_value, int max_value,
                        const std::function<void(const QString&)>& report) const;

  QString registry_file_;
};

}  // namespace sk
