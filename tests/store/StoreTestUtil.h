// Shared helpers for the store tests: a scratch folder per test (also used as TMPDIR, so the
// working files can be checked), byte-level file access and container builders.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/MemoryStream.h"
#include "store/KES.h"

namespace sk::test {

using Bytes = std::vector<uint8_t>;

Bytes ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const Bytes& bytes);
Bytes BytesOf(std::string_view text);
void AppendLE32(Bytes& out, int64_t value);
void AppendText(Bytes& out, std::string_view text);
// An index section: the entry count, then key, offset, size and flags per record.
struct TRecord {
  std::string key;
  int32_t offset;
  int32_t size;
  uint32_t flags;
};
Bytes IndexSection(const std::vector<TRecord>& records);
// An unprotected container from its two sections.
Bytes Container(const Bytes& data, const Bytes& index);

TMemoryStream StreamOf(std::string_view text);
std::string TextOf(const TMemoryStream& stream);

// Every test gets a fresh folder; TMPDIR points into it so the store's working files land there.
class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::string Path(std::string_view name) const { return dir_ + "/" + std::string(name); }
  // Files currently in the temporary folder (the store's working files).
  std::vector<std::string> TempFiles() const;
  const std::string& Dir() const { return dir_; }
  // The folder XDG_CACHE_HOME names during the test (the store's memo of verified orders).
  const std::string& CacheDir() const { return cache_dir_; }

 private:
  // Sets an environment variable for the test; TearDown gives it back its value.
  void SetVariable(const char* name, const std::string& value);

  struct TSavedVariable {
    const char* name;
    std::optional<std::string> value;  // nullopt: it was not set
  };
  std::string dir_;
  std::string tmp_;
  std::string cache_dir_;
  std::vector<TSavedVariable> saved_variables_;
};

}  // namespace sk::test
