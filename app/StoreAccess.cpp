// The file system's view of a store file's place.
#include "app/StoreAccess.h"

#include <QFileInfo>
#include <QStorageInfo>

#include "app/Messages.h"
#include "app/ScreenText.h"

namespace sk {

TWriteAccess ProbeWriteAccess(const QString& store_path) {
  const QFileInfo file(store_path);
  // The container is written beside the file a symbolic link names.
  const QFileInfo target(file.isSymLink() ? file.symLinkTarget() : file.absoluteFilePath());
  const QString folder = target.absolutePath();
  TWriteAccess access;
  const QStorageInfo storage(folder);
  if (storage.isValid()) {
    access.read_only_disk = storage.isReadOnly();
    access.free_bytes = storage.bytesAvailable();
  }
  // A folder that is gone tells nothing about permissions; the store's own message stands.
  const QFileInfo folder_info(folder);
  access.folder_writable = !folder_info.isDir() || folder_info.isWritable();
  if (target.exists()) {
    access.file_writable = target.isWritable();
    access.read_only_file =
        (target.permissions() & (QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther)) == 0;
  }
  return access;
}

TWriteBlock WhyNotWritable(const TWriteAccess& access, int64_t bytes_needed) {
  if (access.read_only_disk) return TWriteBlock::kReadOnlyDisk;
  if (!access.folder_writable && !access.file_writable) return TWriteBlock::kNoPermission;
  if (bytes_needed >= 0 && access.free_bytes >= 0 && access.free_bytes < bytes_needed) {
    return TWriteBlock::kDiskFull;
  }
  // Last: the container is replaced by a rename, which the file's own mode does not stop, but
  // the store opens such a file read-only.
  if (access.read_only_file) return TWriteBlock::kReadOnlyFile;
  return TWriteBlock::kNone;
}

QString WriteBlockText(TWriteBlock block, const QString& store_path) {
  const QFileInfo file(store_path);
  switch (block) {
    case TWriteBlock::kNone: return QString();
    case TWriteBlock::kReadOnlyFile: return Text(app_msg::kStoreReadOnlyFile).arg(store_path);
    case TWriteBlock::kReadOnlyDisk: return Text(app_msg::kStoreReadOnlyDisk).arg(store_path);
    case TWriteBlock::kNoPermission:
      return Text(app_msg::kStoreNoPermission).arg(store_path, file.absolutePath());
    case TWriteBlock::kDiskFull: return Text(app_msg::kStoreDiskFull).arg(store_path);
  }
  return QString();
}

}  // namespace sk
