// TMRUFileList: the list of recently opened stores, most recent first, shown as the "Reopen"
// submenu of the "&File" menu and kept in the registry under
// "\Software\Quillmoor\Stillkeep\Menu" as the string values "F0", "F1", ... in list order.
#pragma once

#include <QFont>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QAction;
class QMenu;

namespace sk {

// Shortens a path to fit max_width pixels in font: the path itself when it fits; otherwise the
// leading folders are replaced one by one with "..." ("/home/ann/pictures/cats.skd" becomes
// "/.../ann/pictures/cats.skd", then "/.../pictures/cats.skd", "/.../cats.skd", ".../cats.skd"
// and at last "cats.skd"), stopping at the first text that fits or when only the file name is
// left. A Windows-style drive ("C:") and "\" separators are understood as well.
QString MinimizeName(const QString& path, const QFont& font, int max_width);

class TMRUFileList {
 public:
  // file_menu holds the hidden place holder after which the "Reopen" submenu is inserted; both
  // must outlive this object. registry_file: the registry the list loads from and saves to.
  TMRUFileList(QMenu& file_menu, QAction& place_holder, QString registry_file);
  ~TMRUFileList();
  TMRUFileList(const TMRUFileList&) = delete;
  TMRUFileList& operator=(const TMRUFileList&) = delete;

  static constexpr int kMaximum = 10;
  static constexpr int kMaxCaptionWidth = 200;

  // The entries, most recent first.
  const QStringList& Items() const { return items_; }
  bool Empty() const { return items_.isEmpty(); }

  // Moves path to the top, inserting it when it is new and dropping entries past kMaximum.
  void Add(const QString& path);
  // Takes path out of the list when it is there.
  void Remove(const QString& path);
  // What choosing entry index (0-based) in the submenu does: takes the entry out of the list,
  // then raises OnMRUItemClick with its path. Out-of-range indexes do nothing.
  void Choose(int index);

  // Replaces the list with the registry's entries (string values of the "Menu" key, in the
  // registry's order; empty, repeated and non-string values are skipped; at most kMaximum).
  // Registry failures raise ERegistryException and leave the list empty.
  void Load();
  // Rewrites the registry's "Menu" key with the entries as "F0", "F1", ... Raises
  // ERegistryException when the registry cannot be written.
  void Save() const;

  // The "Reopen" submenu, or null while the list is empty.
  QMenu* Submenu() const { return submenu_.get(); }
  // The captions of the submenu's items: "&1 " + shortened path, ...
  QStringList Captions() const;

  // Raised by Choose with the chosen path (already removed from the list).
  std::function<void(const QString& file_name)> OnMRUItemClick;
  // Asked before a click in the submenu is handled; a refused click changes nothing (the
  // program refuses while another command runs).
  std::function<bool()> CanChoose;

 private:
  void BuildMenu();

  QMenu& file_menu_;
  QAction& place_holder_;
  QString registry_file_;
  QStringList items_;
  std::unique_ptr<QMenu> submenu_;
};

}  // namespace sk
