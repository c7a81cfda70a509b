// The two ways of a rename: another key (stored, then the old one deleted), or the same key in
// another case in a store that compares without case (through a temporary key).
#include "vault/RenameItem.h"

#include "store/KESNames.h"

namespace sk {

namespace {

constexpr std::string_view kTemporarySuffix = " (renaming)";

void DeleteKey(TKES& store, const std::string& key, const TRenameEvents& events) {
  if (!store.FindKey(key)) return;
  const int row = store.ItemIndex();
  store.Delete();
  if (events.removed) events.removed(row, key);
}

// Stores item under key and makes that durable; on failure nothing is left under key and the
// store's error is raised.
void StoreUnder(TKES& store, TMemoryStream& item, const std::string& key,
                const TRenameEvents& events) {
  try {
    store.AddItem(item, key);
    if (events.added) events.added(key);
    store.Flush();
  } catch (const std::exception&) {
    try {
      DeleteKey(store, key, events);
    } catch (const std::exception&) {
      // A copy left under key is no loss; the first failure is the one to report.
    }
    throw;
  }
}

void StoreThenDelete(TKES& store, TMemoryStream& item, const std::string& old_key,
                     const std::string& key, const TRenameEvents& events) {
  // The new name first: until it is safely stored, the old one is not touched.
  try {
    StoreUnder(store, item, key, events);
  } catch (const std::exception& error) {
    throw ERenameFailed(error.what(), old_key);
  }
  // Should this fail, both names hold the picture, which loses nothing; the store's own error
  // says what happened.
  DeleteKey(store, old_key, events);
  store.Flush();
}

void RenameThroughTemporaryKey(TKES& store, TMemoryStream& item, const std::string& old_key,
                               const std::string& key, const TRenameEvents& events) {
  // Only the case changes and the store compares keys without case, so old_key must go before
  // key can be stored. A copy under a temporary key keeps the item while neither holds it.
  const std::string base =
      old_key.substr(0, kMaxKeyLength - kTemporarySuffix.size()) + std::string(kTemporarySuffix);
  std::string temporary;
  try {
    temporary = UniqueKeyNumbered(store, base);
    StoreUnder(store, item, temporary, events);
  } catch (const std::exception& error) {
    throw ERenameFailed(error.what(), old_key);
  }
  DeleteKey(store, old_key, events);
  try {
    StoreUnder(store, item, key, events);
  } catch (const std::exception& error) {
    const std::string reason = error.what();
    try {
      StoreUnder(store, item, old_key, events);
    } catch (const std::exception&) {
      throw ERenameFailed(reason, temporary);
    }
    DeleteKey(store, temporary, events);
    store.Flush();
    throw ERenameFailed(reason, old_key);
  }
  DeleteKey(store, temporary, events);
  store.Flush();
}

}  // namespace

void RenameItem(TKES& store, TMemoryStream& item, const std::string& old_key,
                const std::string& key, const TRenameEvents& events) {
  if (store.IndexOfKey(key) == store.IndexOfKey(old_key)) {
    RenameThroughTemporaryKey(store, item, old_key, key, events);
  } else {
    StoreThenDelete(store, item, old_key, key, events);
  }
}

}  // namespace sk
