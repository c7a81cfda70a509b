// A locked temporary file in the temporary folder that is deleted when this goes away: a dead
// process's copy is swept by the next open, as its working files are.
#pragma once

#include <string>
#include <string_view>

#include "platform/Files.h"
#include "store/KESErrors.h"

namespace sk {

class TScratchFile {
 public:
  explicit TScratchFile(std::string_view prefix)
      : file_(CreateLockedTempFile(TempDirectory(), prefix)) {
    if (!file_.IsOpen()) throw EKESIndexError(std::string(kes_msg::kNoTempFile));
  }
  ~TScratchFile() {
    DeleteFile(file_.Path());
    file_.Release();
  }
  TScratchFile(const TScratchFile&) = delete;
  TScratchFile& operator=(const TScratchFile&) = delete;
  TFile& File() { return file_; }

 private:
  TFile file_;
};

}  // namespace sk
