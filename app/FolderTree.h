// The folder list of the save and scan dialogs: a tree over the file system whose root is the
// chosen drive's folder.
#pragma once

#include <QString>

class QFileSystemModel;
class QTreeView;

namespace sk {

// Selects path's row in the tree (without emitting the tree's selection signals) and scrolls to
// it; the drive's own folder, the tree's root, has no row, so the selection is cleared for it.
void SelectFolderRow(QTreeView& tree, QFileSystemModel& model, const QString& path);

}  // namespace sk
