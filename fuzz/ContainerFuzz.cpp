// libFuzzer entry point for the container and index reader: the fuzzer's bytes are a store file.
// Opening must succeed or fail with a store error; an opened store must list, read and size every
// item without other failures, write itself back, and reopen with the same keys. A protected
// container gets the check digest of the password "fuzz", so the deciphering path is reached.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/FuzzStore.h"
#include "store/KES.h"
#include "store/KESCipher.h"

namespace {

constexpr char kPassword[] = "fuzz";

// Lists every key and reads every item; any failure but a store error escapes.
std::vector<std::string> Walk(sk::TKES& store) {
  std::vector<std::string> keys;
  for (int i = 0; i < store.Count(); ++i) {
    keys.push_back(store.KeyAt(i));
    store.MoveTo(i);
    sk::TMemoryStream stream;
    try {
      store.GetItem(stream);
      if (store.ItemSize() != static_cast<int64_t>(stream.Size())) std::abort();
    } catch (const sk::EKESIndexError&) {
    }
  }
  sk::TStringList listed;
  store.GetKeys(listed);
  if (listed.Count() != store.Count()) std::abort();
  return keys;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string folder = sk::fuzz::FuzzFolder();
  const std::string path = folder + "/store.kes";
  std::vector<uint8_t> bytes(data, data + size);
  if (size >= 28 && std::memcmp(bytes.data(), "KES\0PWS\0", 8) == 0) {
    const sk::TDigest check = sk::CheckDigest(sk::KeyDigest(kPassword));
    std::memcpy(bytes.data() + 8, check.data(), check.size());
  }
  sk::fuzz::WriteWholeFile(path, bytes);

  std::vector<std::string> keys;
  {
    sk::TKES store;
    store.Password = kPassword;
    try {
      store.SetFileName(path);
    } catch (const sk::EKESError&) {
      return 0;
    }
    keys = Walk(store);
    store.SetFileName("");  // writes the container back
  }
  sk::TKES again;
  again.Password = kPassword;
  again.SetFileName(path);  // what the store wrote must open
  if (Walk(again) != keys) std::abort();
  again.SetReadOnly(true);
  again.SetFileName("");
  return 0;
}
