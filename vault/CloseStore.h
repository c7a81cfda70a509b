// Closing a store and telling where it was written: a store whose container changed on disk while
// it was open is saved under another name, and the person must learn that name.
#pragma once

#include <string>

#include "store/KES.h"

namespace sk {

struct TCloseReport {
  std::string file_name;     // the store that was open ("" when none was)
  std::string written_name;  // the container the close wrote ("" when it wrote none)

  // True when the close wrote the store under a name other than its own.
  bool SavedElsewhere() const { return !written_name.empty() && written_name != file_name; }
};

// Closes the open store (writing it back unless it is read-only) and reports where it went; does
// nothing when no store is open. Raises what the close raises, with the store still open under its
// name (so nothing is lost and the caller may retry).
TCloseReport CloseStoreWithReport(TKES& store);

// After a failed close: where the open store's work is kept, as words to append to the
// close's message ("" when the store has no working files).
std::string KeptWorkingFilesNote(const TKES& store);

}  // namespace sk
