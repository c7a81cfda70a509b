// Closing a store with a report of where it was written.
#include "vault/CloseStore.h"

namespace sk {

TCloseReport CloseStoreWithReport(TKES& store) {
  TCloseReport report;
  if (store.FileName().empty()) return report;
  report.file_name = store.FileName();
  const bool writes = !store.ReadOnly();
  store.SetFileName("");
  if (writes) report.written_name = store.LastWrittenName();
  return report;
}

std::string KeptWorkingFilesNote(const TKES& store) {
  if (store.DataFileName().empty()) return "";
  return " (nothing is lost: the store's working files are kept as " + store.DataFileName() +
         " and " + store.IndexFileName() + ")";
}

}  // namespace sk
