// The settings registry: the current user's settings (HKEY_CURRENT_USER) and the file types the
// desktop is told about (HKEY_CLASSES_ROOT), each a tree of keys holding typed string and 32-bit
// integer values, kept in a JSON file of its own that is rewritten atomically on every change.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <stdexcept>

namespace sk {

// Every failure of the registry: a value of the wrong type or missing, a deleted key, a file that
// could not be written. The message is UTF-8.
class ERegistryException : public std::runtime_error {
 public:
  explicit ERegistryException(const QString& message) : std::runtime_error(message.toStdString()) {}
};

// Every fixed message; each "%s" is filled in turn with the argument named in the comment.
namespace reg_msg {
inline constexpr char kInvalidDataType[] = "Invalid data type for '%s'";  // value name
inline constexpr char kNoValue[] = "The value '%s' does not exist";       // value name
inline constexpr char kKeyDeleted[] = "The key '%s' no longer exists";    // key path
inline constexpr char kRootNotDeletable[] = "The root key cannot be deleted";
inline constexpr char kWriteFailed[] = "Cannot write the registry file %s: %s";  // path, reason
inline constexpr char kBackupFailed[] =
    "The registry file %s could not be read, and no copy of it could be kept as %s, so it was "
    "left unchanged";  // path, backup path
}  // namespace reg_msg

// Fills the "%s" places of pattern with args in order; extra places stay as they are.
QString FormatRegMessage(const char* pattern, std::initializer_list<QString> args);

// The hive a registry file holds.
enum class TRegRoot {
  kCurrentUser,  // HKEY_CURRENT_USER: settings and the recent-files list
  kClassesRoot,  // HKEY_CLASSES_ROOT: file types and their verbs
};

enum class TRegDataType {
  kNone,     // no such value
  kString,   // "sz" in the file
  kInteger,  // "dword" in the file: 32 bits, stored unsigned
};

namespace registry_detail {
struct Key;
}

// One view of the registry file. The constructor reads the whole file; every change is applied to
// a copy of the tree, written to the file (through a temporary file renamed over it) and only then
// made current, so a failed write leaves both the file and this object as they were.
//
// File format (UTF-8 JSON):
//   {"version": 1,
//    "HKEY_CURRENT_USER": {"values": [...], "keys": [...]}}
// (or "HKEY_CLASSES_ROOT" for that hive; a file of the other hive reads as damaged).
// A key is {"name": "Software", "values": [...], "keys": [...]}; a value is
// {"name": "Quality", "type": "sz", "value": "75"} or {"name": "AutoStart", "type": "dword",
// "value": 1} with a whole number 0..4294967295. Arrays keep the order in which values and keys
// were first written, which is the order of enumeration.
//
// Names: key and value names compare without regard to case and keep the spelling they were
// created with. A key path is a list of names separated by "\"; a leading "\" makes it absolute
// (from the root), otherwise it is taken from the current key; empty names are skipped.
//
// A file that exists but cannot be read or does not have the shape above is treated as an empty
// registry and never changed by reading. Before the first write, its bytes are copied to
// BackupPath() (replacing an older copy); if no copy can be made the write fails and the file is
// left alone.
//
// Two objects (or processes) on the same file do not see each other's changes after construction:
// each write stores that object's whole tree, so the last writer wins. Callers should therefore
// use one short-lived object per operation. Not thread-safe.
class TRegistry {
 public:
  // Reads file_path, a file of the hive root, if it exists. Never raises for a missing,
  // unreadable or damaged file.
  explicit TRegistry(QString file_path, TRegRoot root = TRegRoot::kCurrentUser);
  ~TRegistry();
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  // "$XDG_CONFIG_HOME/Quillmoor/registry.json", or "$HOME/.config/Quillmoor/registry.json" when
  // the variable is unset or empty, taken from the environment at each call.
  static QString DefaultPath();
  // The HKEY_CLASSES_ROOT file: "classes.json" beside DefaultPath(), taken at each call.
  static QString ClassesRootPath();

  const QString& FilePath() const { return file_path_; }
  TRegRoot Root() const { return hive_; }
  // file_path + ".bad": where a damaged file is kept before it is replaced.
  QString BackupPath() const { return file_path_ + QStringLiteral(".bad"); }
  // True when the file existed at construction but could not be read or understood.
  bool WasDamaged() const { return damaged_; }

  // Makes the key at path current; with can_create, creates the missing keys on the way (and
  // writes the file). Returns false, leaving the current key unchanged, when the key does not
  // exist and may not be created, or when a relative path starts from a deleted current key.
  // Raises ERegistryException when the file cannot be written.
  bool OpenKey(const QString& path, bool can_create);
  // Makes the root current.
  void CloseKey();
  // Absolute path of the current key in its stored spelling ("\" for the root).
  QString CurrentPath() const;

  // Whether the key at path exists (same path rules as OpenKey).
  bool KeyExists(const QString& path) const;
  // Deletes the key at path with all its values and subkeys; false when there is no such key.
  // Raises ERegistryException for the root or when the file cannot be written. Deleting the
  // current key (or a key above it) leaves it current but deleted: see the value methods.
  bool DeleteKey(const QString& path);
  // Names of the current key's subkeys in stored spelling and creation order.
  QStringList GetKeyNames() const;

  // Value methods act on the current key. Reads and writes raise ERegistryException with
  // reg_msg::kKeyDeleted when it has been deleted; ValueExists, GetDataType and GetValueNames
  // answer as for an empty key.
  bool ValueExists(const QString& name) const;
  TRegDataType GetDataType(const QString& name) const;
  // Names in stored spelling and the order in which they were first written.
  QStringList GetValueNames() const;

  // Reads raise ERegistryException with reg_msg::kNoValue when the value is missing and with
  // reg_msg::kInvalidDataType (the name as given) when it has the other type.
  QString ReadString(const QString& name) const;
  // The 32 bits as a signed number (4294967295 reads as -1).
  int32_t ReadInteger(const QString& name) const;
  uint32_t ReadDWord(const QString& name) const;

  // Writes create the value or replace it, type included; an existing value keeps its spelling
  // and place. Each write rewrites the file; on failure ERegistryException is raised and nothing
  // changes.
  void WriteString(const QString& name, const QString& value);
  // Stores the 32 bits of value (-1 is stored as 4294967295).
  void WriteInteger(const QString& name, int32_t value);
  void WriteDWord(const QString& name, uint32_t value);
  // Deletes a value; false when there was none. Raises as the writes do.
  bool DeleteValue(const QString& name);

 private:
  using Key = registry_detail::Key;

  // Sets names to the key names from the root that path designates, in the spelling given.
  // False when path is relative and the current key has been deleted.
  bool Target(const QString& path, QStringList& names) const;
  const Key* CurrentKey() const;
  const Key& CurrentKeyOrThrow() const;
  void WriteValue(const QString& name, TRegDataType type, const QString& text, uint32_t number);
  // Writes root to the file and, on success, makes it the current tree.
  void Commit(std::unique_ptr<Key> root);
  void Load();

  QString file_path_;
  TRegRoot hive_;
  std::unique_ptr<Key> root_;
  QStringList current_;  // names from the root, in stored spelling
  bool damaged_ = false;
  bool backup_pending_ = false;
};

}  // namespace sk
