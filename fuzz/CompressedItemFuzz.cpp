// libFuzzer entry point for reading a compressed item: the fuzzer's bytes are the body of the one
// compressed item of a store. GetItem must expand it or refuse it with the invalid-file error,
// ItemSize must agree with it, and neither may hold more than a bounded amount of memory.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/FuzzStore.h"
#include "store/KES.h"
#include "store/KESCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = sk::fuzz::FuzzFolder() + "/item.kes";
  // Container: signature, data section = the body, index tag, index of one compressed item.
  std::string container("KES\0", 4);
  sk::fuzz::AppendLE32(container, static_cast<uint32_t>(size));
  container.append(reinterpret_cast<const char*>(data), size);
  std::string index;
  sk::fuzz::AppendLE32(index, 1);
  index.append("item\0", 5);
  sk::fuzz::AppendLE32(index, 0);
  sk::fuzz::AppendLE32(index, static_cast<uint32_t>(size));
  sk::fuzz::AppendLE32(index, sk::kFlagCompressed);
  container.append("IXS\0", 4);
  sk::fuzz::AppendLE32(container, static_cast<uint32_t>(index.size()));
  container += index;
  sk::fuzz::WriteWholeFile(
      path, std::span(reinterpret_cast<const uint8_t*>(container.data()), container.size()));

  sk::TKES store;
  store.SetReadOnly(true);
  store.SetCacheSize(0);  // nothing is cached, so ItemSize counts on its own
  store.SetFileName(path);
  if (!store.FindKey("item")) std::abort();

  bool got = false;
  sk::TMemoryStream stream;
  try {
    store.GetItem(stream);
    got = true;
  } catch (const sk::EKESIndexError&) {
    if (stream.Size() != 0) std::abort();  // a refused item leaves nothing behind
  }
  if (got && stream.Size() > size * sk::kMaxExpansionRatio) std::abort();
  try {
    const int64_t counted = store.ItemSize();
    if (!got || static_cast<size_t>(counted) != stream.Size()) std::abort();
  } catch (const sk::EKESIndexError&) {
    if (got) std::abort();
  }
  store.SetFileName("");
  return 0;
}
