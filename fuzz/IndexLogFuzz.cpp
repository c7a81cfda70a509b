// libFuzzer entry point for the index log a session leaves in the temporary folder: the first two
// bytes (little-endian) give the length of an index file, whose bytes follow; the rest is its log.
// Reading the log must end on any bytes; every record it gives must decode or be refused; the
// changes applied to a well-formed index give an index in order, which applying nothing leaves
// byte for byte as it is; and changes survive their own encoding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "platform/Collation.h"
#include "store/IndexLog.h"

namespace {

bool SameChanges(const std::vector<sk::TIndexChange>& a, const std::vector<sk::TIndexChange>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].added != b[i].added || a[i].key != b[i].key) return false;
    if (a[i].added &&
        (a[i].index.offset != b[i].index.offset || a[i].index.size != b[i].index.size ||
         a[i].index.flags != b[i].index.flags)) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const std::span<const uint8_t> input(data, size);
  const size_t index_length = std::min<size_t>(input[0] | input[1] << 8, size - 2);
  const std::span<const uint8_t> index = input.subspan(2, index_length);
  const std::span<const uint8_t> log = input.subspan(2 + index_length);
  const bool case_sensitive = (input[0] & 0x80) != 0;

  std::vector<sk::TIndexChange> changes;
  for (const std::vector<uint8_t>& payload : sk::IndexLogPayloads(log, index)) {
    std::vector<sk::TIndexChange> record;
    if (!sk::DecodeIndexChanges(payload, record)) break;
    std::vector<sk::TIndexChange> again;
    if (!sk::DecodeIndexChanges(sk::EncodeIndexChanges(record), again)) std::abort();
    if (!SameChanges(record, again)) std::abort();
    changes.insert(changes.end(), record.begin(), record.end());
  }

  const sk::TCollator& collator = sk::TCollator::Default();
  try {
    const std::optional<std::vector<uint8_t>> applied =
        sk::ApplyIndexChanges(index, changes, collator, case_sensitive);
    if (!applied) return 0;
    const std::optional<std::vector<uint8_t>> same =
        sk::ApplyIndexChanges(*applied, {}, collator, case_sensitive);
    if (!same || *same != *applied) std::abort();
  } catch (const sk::EKESListError&) {
    // Two system entries of one key: the key lists refuse the index, as an open does.
  }
  return 0;
}
