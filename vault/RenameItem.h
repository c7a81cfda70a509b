// Renaming a stored item so that it is never lost: the exact stored bytes go under the new name
// first, and the old name goes only once that is durable in the working files.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>

#include "platform/MemoryStream.h"
#include "store/KES.h"

namespace sk {

// A rename that did not happen. what() is the store's own message; KeptAs() is the key that holds
// the item now: its old key, or, when the disk failed half-way through a change of case only, a
// temporary key.
class ERenameFailed : public std::runtime_error {
 public:
  ERenameFailed(const std::string& reason, std::string kept_as)
      : std::runtime_error(reason), kept_as_(std::move(kept_as)) {}
  const std::string& KeptAs() const { return kept_as_; }

 private:
  std::string kept_as_;
};

// What the rename did to the store's key list, in order, for a view that mirrors it.
struct TRenameEvents {
  std::function<void(const std::string& key)> added;
  std::function<void(int row, const std::string& key)> removed;
};

// Stores item (the exact bytes stored under old_key) under key and deletes old_key, flushing the
// index after each step. key must not be taken by another item. When the store compares keys
// without case and key differs from old_key only in case, the item goes under a temporary key
// first, since old_key has to go before key can be stored. Raises ERenameFailed when the item
// could not be stored under key; when only deleting the old or temporary key fails, raises the
// store's error with the item under both keys. Whatever fails, some key holds the item.
void RenameItem(TKES& store, TMemoryStream& item, const std::string& old_key,
                const std::string& key, const TRenameEvents& events = {});

}  // namespace sk
