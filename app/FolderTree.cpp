// Selecting a folder in the dialogs' folder lists.
#include "app/FolderTree.h"

#include <QFileSystemModel>
#include <QSignalBlocker>
#include <QTreeView>

namespace sk {

void SelectFolderRow(QTreeView& tree, QFileSystemModel& model, const QString& path) {
  const QSignalBlocker blocker(tree.selectionModel());
  const QModelIndex index = model.index(path);
  if (index.isValid() && index != tree.rootIndex()) {
    tree.setCurrentIndex(index);
    tree.scrollTo(index);
  } else {
    // The drive's own folder is the list's root, which has no row of its own.
    tree.setCurrentIndex(QModelIndex());
  }
}

}  // namespace sk
