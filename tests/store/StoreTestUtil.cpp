// Shared helpers for the store tests.
#include "tests/store/StoreTestUtil.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace sk::test {

namespace fs = std::filesystem;

Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes BytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }

void AppendLE32(Bytes& out, int64_t value) {
  const auto v = static_cast<uint32_t>(value);
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

void AppendText(Bytes& out, std::string_view text) { out.insert(out.end(), text.begin(), text.end()); }

Bytes IndexSection(const std::vector<TRecord>& records) {
  Bytes out;
  AppendLE32(out, static_cast<int64_t>(records.size()));
  for (const TRecord& r : records) {
    AppendText(out, r.key);
    out.push_back(0);
    AppendLE32(out, r.offset);
    AppendLE32(out, r.size);
    AppendLE32(out, r.flags);
  }
  return out;
}

Bytes Container(const Bytes& data, const Bytes& index) {
  Bytes out;
  AppendText(out, std::string_view("KES\0", 4));
  AppendLE32(out, static_cast<int64_t>(data.size()));
  out.insert(out.end(), data.begin(), data.end());
  AppendText(out, std::string_view("IXS\0", 4));
  AppendLE32(out, static_cast<int64_t>(index.size()));
  out.insert(out.end(), index.begin(), index.end());
  return out;
}

TMemoryStream StreamOf(std::string_view text) { return TMemoryStream(BytesOf(text)); }

std::string TextOf(const TMemoryStream& stream) {
  return std::string(stream.Bytes().begin(), stream.Bytes().end());
}

namespace {

// A new folder in the system's temporary folder, its name starting with prefix; empty when none
// could be made.
std::string MakeFolder(std::string_view prefix) {
  std::string pattern = (fs::temp_directory_path() / (std::string(prefix) + "XXXXXX")).string();
  return ::mkdtemp(pattern.data()) ? pattern : std::string();
}

}  // namespace

void StoreTest::SetUp() {
  dir_ = MakeFolder("sk-store-");
  ASSERT_FALSE(dir_.empty());
  tmp_ = dir_ + "/tmp";
  fs::create_directory(tmp_);
  // The memo of verified key orders starts empty for every test and never reaches the user's
  // cache folder. It lies outside the test's folder, whose files some tests list.
  cache_dir_ = MakeFolder("sk-cache-");
  ASSERT_FALSE(cache_dir_.empty());
  SetVariable("TMPDIR", tmp_);
  SetVariable("XDG_CACHE_HOME", cache_dir_);
}

void StoreTest::SetVariable(const char* name, const std::string& value) {
  const char* old = std::getenv(name);
  saved_variables_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
  ::setenv(name, value.c_str(), 1);
}

void StoreTest::TearDown() {
  // Latest first, so that a variable set twice gets the value it had before the test.
  for (auto saved = saved_variables_.rbegin(); saved != saved_variables_.rend(); ++saved) {
    if (saved->value) {
      ::setenv(saved->name, saved->value->c_str(), 1);
    } else {
      ::unsetenv(saved->name);
    }
  }
  saved_variables_.clear();
  std::error_code ec;
  if (!cache_dir_.empty()) fs::remove_all(cache_dir_, ec);
  fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(dir_, ec);
}

std::vector<std::string> StoreTest::TempFiles() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(tmp_)) names.push_back(entry.path().filename());
  return names;
}

}  // namespace sk::test
