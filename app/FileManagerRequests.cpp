// The file manager's add: one picture file per request.
#include "app/FileManagerRequests.h"

#include <QDir>
#include <QFile>

#include "app/BusyCursor.h"
#include "app/Messages.h"
#include "app/Prompts.h"
#include "platform/MemoryStream.h"
#include "store/KES.h"
#include "vault/KeyText.h"

namespace sk {

TFileManagerRequests::TFileManagerRequests(TCommandContext context) : context_(context) {}

void TFileManagerRequests::LoadFileExecuteMacro(const QStringList& lines) {
  TPrompts& prompts = context_.prompts;
  TStoreView& view = context_.view;
  TKES& store = context_.store;
  std::string key;
  {
    TBusyCursor busy;
    bool loaded = false;
    // A path is taken only as the file manager gives it: whole, from the root.
    if (!lines.isEmpty() && QDir::isAbsolutePath(lines.front())) {
      const std::string file = QFile::encodeName(lines.front()).toStdString();
      try {
        LoadPictureFile(add_picture_, file);
        key = KeyForFile(file);
        loaded = true;
      } catch (const std::exception&) {
        // Told below, as for a request that names no file.
      }
    }
    if (!loaded) {
      prompts.MessageDlg(QString::fromUtf8(app_msg::kLoadFailed), TMsgDlgType::kWarning,
                         {TMsgDlgBtn::kOk});
      return;
    }
  }
  TBusyCursor busy;
  bool stored = false;
  try {
    TMemoryStream stream;
    EncodeLoadedPicture(add_picture_, context_.preferences.quality, stream);
    key = StoreEncodedPicture(store, stream, key, TUniqueKeyRule::kGrowing);
    stored = true;
  } catch (const std::exception&) {
    prompts.MessageDlg(QString::fromUtf8(app_msg::kStoreFailed), TMsgDlgType::kWarning,
                       {TMsgDlgBtn::kOk});
  }
  // Without a store there is no list to refresh.
  if (store.FileName().empty()) return;
  if (stored) {
    view.KeyAdded(key);
  } else {
    view.FillKeyList();
  }
  view.SelectKey(key);
  view.MyUpdate();
}

}  // namespace sk
