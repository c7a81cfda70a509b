#include "store/IndexLog.h"

#include <cstring>

#include "store/IndexBytes.h"

namespace sk {

namespace {

constexpr uint8_t kMagic[4] = {'S', 'K', 'I', 'L'};
constexpr size_t kHeaderSize = 4 + 8 + 8;
// The kind of a change, written as a one-character string before its key.
constexpr char kAdded = 'A';
constexpr char kDeleted = 'D';

void PutLE(std::vector<uint8_t>& out, uint64_t value, int size) {
  for (int i = 0; i < size; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

uint64_t GetLE(const uint8_t* at, int size) {
  uint64_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = value << 8 | at[i];
  return value;
}

uint64_t Mix(uint64_t hash, uint64_t word) {
  hash = (hash ^ word) * 0x9E3779B97F4A7C15ull;
  return hash ^ (hash >> 29);
}

// Parses index bytes into the two lists; false when they are not a well-formed index.
bool ParseIndex(std::span<const uint8_t> bytes, TIndexList& system, TIndexList& items) {
  TIndexBytesReader reader(bytes);
  int32_t count = 0;
  if (!reader.ReadInteger(count) || count < 0) return false;
  for (int32_t i = 0; i < count; ++i) {
    std::string key;
    TIndex index;
    int32_t flags = 0;
    if (!reader.ReadRecord(key, index.offset, index.size, flags)) return false;
    index.flags = static_cast<uint32_t>(flags);
    (index.flags & kFlagSystem ? system : items).Add(std::move(key), index);
  }
  return true;
}

}  // namespace

uint64_t IndexLogHash(std::span<const uint8_t> bytes) {
  uint64_t hash = Mix(0x243F6A8885A308D3ull, bytes.size());
  size_t at = 0;
  for (; bytes.size() - at >= 8; at += 8) hash = Mix(hash, GetLE(bytes.data() + at, 8));
  uint64_t tail = 0;
  for (size_t i = at; i < bytes.size(); ++i) tail |= uint64_t{bytes[i]} << (8 * (i - at));
  return Mix(Mix(hash, tail), 0x13198A2E03707344ull);
}

std::vector<uint8_t> IndexLogHeader(std::span<const uint8_t> index_file) {
  std::vector<uint8_t> header(std::begin(kMagic), std::end(kMagic));
  PutLE(header, index_file.size(), 8);
  PutLE(header, IndexLogHash(index_file), 8);
  return header;
}

std::vector<uint8_t> IndexLogRecord(std::span<const uint8_t> payload) {
  std::vector<uint8_t> record;
  record.reserve(4 + payload.size() + 8);
  PutLE(record, payload.size(), 4);
  record.insert(record.end(), payload.begin(), payload.end());
  PutLE(record, IndexLogHash(payload), 8);
  return record;
}

std::vector<std::vector<uint8_t>> IndexLogPayloads(std::span<const uint8_t> log,
                                                   std::span<const uint8_t> index_file) {
  std::vector<std::vector<uint8_t>> payloads;
  if (log.size() < kHeaderSize || std::memcmp(log.data(), kMagic, 4) != 0 ||
      GetLE(log.data() + 4, 8) != index_file.size() ||
      GetLE(log.data() + 12, 8) != IndexLogHash(index_file)) {
    return payloads;
  }
  size_t at = kHeaderSize;
  while (log.size() - at >= 4) {
    const uint64_t length = GetLE(log.data() + at, 4);
    if (log.size() - at - 4 < length + 8) break;
    const std::span<const uint8_t> payload = log.subspan(at + 4, length);
    if (GetLE(payload.data() + length, 8) != IndexLogHash(payload)) break;
    payloads.emplace_back(payload.begin(), payload.end());
    at += 4 + length + 8;
  }
  return payloads;
}

std::vector<uint8_t> EncodeIndexChanges(std::span<const TIndexChange> changes) {
  TIndexBytesWriter writer;
  writer.WriteInteger(static_cast<int32_t>(changes.size()));
  for (const TIndexChange& change : changes) {
    const char kind = change.added ? kAdded : kDeleted;
    writer.WriteString(std::string_view(&kind, 1));
    writer.WriteString(change.key);
    if (!change.added) continue;
    writer.WriteInteger(change.index.offset);
    writer.WriteInteger(change.index.size);
    writer.WriteInteger(static_cast<int32_t>(change.index.flags));
  }
  return writer.Bytes();
}

bool DecodeIndexChanges(std::span<const uint8_t> payload, std::vector<TIndexChange>& changes) {
  TIndexBytesReader reader(payload);
  int32_t count = 0;
  if (!reader.ReadInteger(count) || count < 0) return false;
  for (int32_t i = 0; i < count; ++i) {
    std::string kind;
    TIndexChange change;
    if (!reader.ReadString(kind) || kind.size() != 1 || !reader.ReadString(change.key)) {
      return false;
    }
    change.added = kind[0] == kAdded;
    if (!change.added && kind[0] != kDeleted) return false;
    if (change.added) {
      int32_t flags = 0;
      if (!reader.ReadInteger(change.index.offset) || !reader.ReadInteger(change.index.size) ||
          !reader.ReadInteger(flags)) {
        return false;
      }
      change.index.flags = static_cast<uint32_t>(flags);
    }
    changes.push_back(std::move(change));
  }
  return true;
}

std::optional<std::vector<uint8_t>> ApplyIndexChanges(std::span<const uint8_t> index,
                                                      std::span<const TIndexChange> changes,
                                                      const TCollator& collator,
                                                      bool case_sensitive) {
  // Loaded as an open loads them: system entries sorted as they come, items read in their
  // written order and then put in the collator's order under the case mode.
  TIndexList system(&collator), items(&collator);
  system.SetSorted(true);
  items.SetSorted(false);
  if (!ParseIndex(index, system, items)) return std::nullopt;
  items.ReverseAndSort();
  items.SetCaseSensitive(case_sensitive);
  if (!items.Ascending()) items.StableSort();
  for (const TIndexChange& change : changes) {
    int position;
    const bool exists = items.Find(change.key, position);
    if (change.added && !exists) items.Add(change.key, change.index);
    if (!change.added && exists) items.Delete(position);
  }
  return IndexBytesOf(system, items);
}

std::vector<uint8_t> IndexBytesOf(const TIndexList& system, const TIndexList& items) {
  TIndexBytesWriter writer;
  writer.WriteInteger(items.Count() + system.Count());
  for (const TIndexList* list : {&system, &items}) {
    for (int i = list->Count() - 1; i >= 0; --i) {
      const TIndex index = list->ValueAt(i);
      writer.WriteString(list->Key(i));
      writer.WriteInteger(index.offset);
      writer.WriteInteger(index.size);
      writer.WriteInteger(static_cast<int32_t>(index.flags));
    }
  }
  return writer.Bytes();
}

}  // namespace sk
