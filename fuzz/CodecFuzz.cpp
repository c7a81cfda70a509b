// libFuzzer entry point for the block codec: arbitrary bytes must either expand or be rejected
// with EKESCorruptBody, and compressing them must expand back to the same bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "store/KESCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> input(data, size);

  // As a block stream: any outcome but a clean expansion or EKESCorruptBody is a bug, and the
  // sanitizers catch reads or writes outside the buffers.
  try {
    const std::vector<uint8_t> expanded = sk::ExpandItem(input);
    // Every block produces at most one slice, and every block takes at least its 2-byte header.
    if (expanded.size() > (size / 2) * sk::kCodecSliceSize) std::abort();
  } catch (const sk::EKESCorruptBody&) {
  }

  // As an item: the round trip must be exact.
  const std::vector<uint8_t> body = sk::CompressItem(input);
  const std::vector<uint8_t> back = sk::ExpandItem(body);
  if (back.size() != size || !std::equal(back.begin(), back.end(), input.begin())) std::abort();
  return 0;
}
