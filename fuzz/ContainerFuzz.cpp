// libFuzzer entry point for the container and index reader: the fuzzer's bytes are a store file.
// Opening must succeed or fail with a store error; an opened store must list, read and size every
// item without other failures, take a new item, write itself back, and reopen with the same keys. A protected
// container gets the check digest of the password "fuzz", so the deciphering path is reached.
#include <algorithm>
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
    keys.emplace_back(store.KeyAt(i));
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
  if (size >= 32 && std::memcmp(bytes.data(), "SKV\0", 4) == 0) {
    // A strong header's key derivation cost is set to Argon2id's least (1 pass, 8 KiB), so that
    // no input spends the fuzzer's memory limit on it; the store itself accepts up to 16 passes
    // and 1 GiB, which is its budget for a hostile header.
    const uint8_t least[16] = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0x20, 0, 0, 0, 0, 0, 0};
    std::memcpy(bytes.data() + 16, least, sizeof least);
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
    Walk(store);
    // A change makes the close write the container: the opened data section copied (deciphered
    // and enciphered again for the legacy cipher), the new body after it, then the index.
    sk::TMemoryStream added(std::vector<uint8_t>(data, data + std::min<size_t>(size, 64)));
    store.SetCompression(size % 2 == 1);
    try {
      store.AddItem(added, "\x7f" "added by the fuzzer");
    } catch (const sk::EKESError&) {
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
