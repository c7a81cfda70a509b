// The index log: what the Flushes of a session changed since its index file was last written
// whole. A Flush that follows a whole index appends one record of the keys it added and deleted,
// so that making an add durable costs a few bytes instead of the whole index; the close (or a
// recovery) applies the records to the index file. The log names the index file it applies to
// by its length and a hash of its bytes, so that a log left over from before the index file was
// written again is recognised as stale and ignored.
//
// Layout: the header "SKIL", the index file's length (8 bytes) and hash (8 bytes); then records,
// each a payload length (4 bytes), the payload and the payload's hash (8 bytes), all little-endian.
// A record cut short or whose hash does not match ends the log: it was being written when the
// process ended, and its Flush never returned.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "store/KESList.h"

namespace sk {

// One change of the item list: an added key and its index record, or a deleted key.
struct TIndexChange {
  bool added = false;
  std::string key;
  TIndex index;
};

// A 64-bit hash of bytes, to tell whether a log record or an index file is the one it should be.
// Not a cryptographic hash: a strongly protected store's records are sealed besides.
uint64_t IndexLogHash(std::span<const uint8_t> bytes);

// The log's header for an index file of these bytes.
std::vector<uint8_t> IndexLogHeader(std::span<const uint8_t> index_file);

// One record around payload.
std::vector<uint8_t> IndexLogRecord(std::span<const uint8_t> payload);

// The payloads of the log's whole records, in order; none when the log is empty, does not start
// with a header, or its header names other bytes than index_file.
std::vector<std::vector<uint8_t>> IndexLogPayloads(std::span<const uint8_t> log,
                                                   std::span<const uint8_t> index_file);

// A payload's bytes for changes, and back; Decode returns false for bytes that are not a payload.
std::vector<uint8_t> EncodeIndexChanges(std::span<const TIndexChange> changes);
bool DecodeIndexChanges(std::span<const uint8_t> payload, std::vector<TIndexChange>& changes);

// The index (plain bytes as the index file holds them) with changes applied, written as a close
// writes it: system entries then items, each in descending order of collator under the case mode.
// Added keys that exist and deleted keys that do not are left as they are. Raises EKESListError
// or std::bad_alloc as the key lists do; returns nothing when index is not a well-formed index.
std::optional<std::vector<uint8_t>> ApplyIndexChanges(std::span<const uint8_t> index,
                                                      std::span<const TIndexChange> changes,
                                                      const TCollator& collator,
                                                      bool case_sensitive);

// The bytes of an index of these lists, as a close writes them.
std::vector<uint8_t> IndexBytesOf(const TIndexList& system, const TIndexList& items);

}  // namespace sk
