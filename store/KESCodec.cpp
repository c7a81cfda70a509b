// The block codec for compressed item bodies: a slice compressor that writes one fixed byte
// sequence per input, and a bounds-checked decoder that rejects damaged payloads.
//
// Block stream: per slice of at most 32768 bytes, [uint16 LE payload length L][payload of L].
// Payload: byte 0 is the method; 0x80 means the slice follows verbatim, anything else means a
// compressed payload. A compressed payload is a sequence of groups, each a big-endian 16-bit
// control word followed by up to 16 items, announced from the most significant bit down: 0 is a
// literal byte, 1 is a code item. A code item starts with b0 b1; offset = b0 * 16 + b1 / 16.
// A non-zero offset is a back-reference of (b1 % 16) + 3 bytes copied one at a time from `offset`
// bytes back (so it may overlap what it writes). A zero offset makes a 4-byte run code b0 b1 b2 b3
// that writes b3 (b1 * 256 + b2 + 16) times.
#include "store/KESCodec.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <new>

namespace sk {
namespace {

constexpr size_t kHashSize = 4096;
constexpr uint16_t kHashEmpty = 0xFFFF;
constexpr size_t kMaxOffset = 4095;
constexpr size_t kMinMatch = 3;
constexpr size_t kMaxMatch = 18;
constexpr size_t kMinRun = 16;
constexpr size_t kMaxRun = 4095;
constexpr unsigned kItemsPerGroup = 16;

// The compressor checks the output length against the slice length once per group, so its
// output buffer needs room for one control word and a whole group of the longest items (run
// codes) beyond the slice length.
constexpr size_t kCompressSlack = 2 + kItemsPerGroup * 4;

// Positions with at least this many bytes left take the fast path of the compressor, which reads
// whole words: 16 bytes for the run test and up to 24 for the match length.
constexpr size_t kFastTail = 24;

using HashTable = std::array<uint16_t, kHashSize>;

void PutBigEndian16(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value >> 8);
  at[1] = static_cast<uint8_t>(value);
}

// Hash of the three bytes at pos. Bytes past the end of the slice count as zero; their value
// cannot change the output, because a match at the last two positions would be shorter than
// kMinMatch anyway.
uint32_t HashAt(const uint8_t* src, size_t pos, size_t n) {
  const uint32_t a = src[pos];
  const uint32_t b = pos + 1 < n ? src[pos + 1] : 0;
  const uint32_t c = pos + 2 < n ? src[pos + 2] : 0;
  return (((((a << 4) ^ b) << 4) ^ c) * 40543u >> 4) & (kHashSize - 1);
}

// HashAt for a position with at least three bytes left.
uint32_t HashOfThree(const uint8_t* at) {
  const uint32_t a = at[0], b = at[1], c = at[2];
  return (((((a << 4) ^ b) << 4) ^ c) * 40543u >> 4) & (kHashSize - 1);
}

uint64_t Load64(const uint8_t* at) {
  uint64_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

// Whether the kMinRun bytes at `at` are all equal, tested a word at a time: a run shorter than
// kMinRun is never coded as a run, so its exact length does not matter.
bool StartsRun(const uint8_t* at) {
  static_assert(kMinRun == 16);
  const uint64_t pattern = at[0] * 0x0101010101010101ull;
  return Load64(at) == pattern && Load64(at + 8) == pattern;
}

// Non-zero when the three bytes at `a` and `b` differ; reads four bytes at each.
uint32_t FirstThreeDiffer(const uint8_t* a, const uint8_t* b) {
  uint32_t x, y;
  std::memcpy(&x, a, 4);
  std::memcpy(&y, b, 4);
  constexpr uint32_t kMask = std::endian::native == std::endian::little ? 0x00FFFFFF : 0xFFFFFF00;
  return (x ^ y) & kMask;
}

// Whether the three bytes at `a` and `b` are equal; reads four bytes at each.
bool SameFirstThree(const uint8_t* a, const uint8_t* b) { return FirstThreeDiffer(a, b) == 0; }

// Number of leading bytes in which the 24 bytes at `a` and `b` agree, at most kMaxMatch. Compares
// a word at a time; both places must have 24 readable bytes (they may overlap).
size_t MatchLength(const uint8_t* a, const uint8_t* b) {
  static_assert(kMaxMatch <= 24);
  for (size_t at = 0; at < kMaxMatch; at += 8) {
    const uint64_t diff = Load64(a + at) ^ Load64(b + at);
    if (diff != 0) {
      const int bits = std::endian::native == std::endian::little ? std::countr_zero(diff)
                                                                  : std::countl_zero(diff);
      return std::min(kMaxMatch, at + static_cast<size_t>(bits) / 8);
    }
  }
  return kMaxMatch;
}

// Writes the run code for `run` copies of `value` at `out`.
void PutRun(uint8_t* out, size_t run, uint8_t value) {
  const size_t excess = run - kMinRun;
  out[0] = 0;
  out[1] = static_cast<uint8_t>(excess >> 8);
  out[2] = static_cast<uint8_t>(excess);
  out[3] = value;
}

// Length of the run of src[0] at src, at most `limit` bytes, given that its first kMinRun bytes
// are equal.
size_t RunLength(const uint8_t* src, size_t limit) {
  const uint64_t pattern = src[0] * 0x0101010101010101ull;
  size_t run = kMinRun;
  while (limit - run >= 8 && Load64(src + run) == pattern) run += 8;
  while (run < limit && src[run] == src[0]) ++run;
  return run;
}

// Codes the item at `pos` when at least kFastTail bytes are left: a run code, a back-reference or
// a literal, exactly as CodeItemNearEnd would, but with word-sized reads and without a branch on
// whether the hash candidate lies within reach. Advances `pos` and `out_pos` and returns whether
// the item is a code item.
bool CodeItem(const uint8_t* src, size_t n, size_t& pos, HashTable& table, uint8_t* out,
              size_t& out_pos) {
  const uint8_t* at = src + pos;
  if (StartsRun(at)) {
    const size_t run = RunLength(at, std::min(kMaxRun, n - pos));
    PutRun(out + out_pos, run, at[0]);
    out_pos += 4;
    pos += run;
    return true;
  }
  const uint32_t h = HashOfThree(at);
  const size_t candidate = table[h];
  table[h] = static_cast<uint16_t>(pos);
  // An empty entry lies at a distance beyond kMaxOffset too, since positions stay below
  // kHashEmpty. Whether the candidate is within reach is hard to predict, so it is folded into
  // the comparison instead of being a branch of its own: a candidate out of reach is compared
  // with `at` itself, which is always readable, and the out-of-reach bit makes the test fail.
  const size_t distance = pos - candidate;
  const uint32_t out_of_reach = distance > kMaxOffset ? 1 : 0;
  const uint8_t* from = at - (distance & (size_t{out_of_reach} - 1));
  if ((FirstThreeDiffer(at, from) | out_of_reach) == 0) {
    const size_t length = MatchLength(at, from);
    PutBigEndian16(out + out_pos, static_cast<uint32_t>(distance * 16 + (length - kMinMatch)));
    out_pos += 2;
    pos += length;
    return true;
  }
  out[out_pos] = at[0];
  out_pos += 1;
  pos += 1;
  return false;
}

// Codes the item at `pos` when fewer than kFastTail bytes are left, reading byte by byte within
// the slice. Same contract as CodeItem.
bool CodeItemNearEnd(const uint8_t* src, size_t n, size_t& pos, HashTable& table, uint8_t* out,
                     size_t& out_pos) {
  const uint8_t value = src[pos];
  if (n - pos >= kMinRun && StartsRun(src + pos)) {
    // Runs never enter the hash table.
    const size_t run = RunLength(src + pos, std::min(kMaxRun, n - pos));
    PutRun(out + out_pos, run, value);
    out_pos += 4;
    pos += run;
    return true;
  }
  const uint32_t h = HashAt(src, pos, n);
  const uint16_t candidate = table[h];
  table[h] = static_cast<uint16_t>(pos);

  size_t length = 0;
  if (candidate != kHashEmpty && pos - candidate <= kMaxOffset && n - pos >= kMinMatch &&
      (n - pos < 4 || SameFirstThree(src + pos, src + candidate))) {
    const size_t limit = std::min(kMaxMatch, n - pos);
    while (length < limit && src[pos + length] == src[candidate + length]) ++length;
  }
  if (length >= kMinMatch) {
    PutBigEndian16(out + out_pos,
                   static_cast<uint32_t>((pos - candidate) * 16 + (length - kMinMatch)));
    out_pos += 2;
    pos += length;
    return true;
  }
  out[out_pos] = value;
  out_pos += 1;
  pos += 1;
  return false;
}

// Compresses `slice` into `out`, which must have room for slice.size() + kCompressSlack bytes,
// and returns the payload length. Falls back to the stored form when the compressed form would
// be longer than the slice.
size_t CompressSliceInto(std::span<const uint8_t> slice, HashTable& table, uint8_t* out) {
  const uint8_t* src = slice.data();
  const size_t n = slice.size();
  table.fill(kHashEmpty);

  out[0] = kCodecMethodCompressed;
  size_t out_pos = 1;
  size_t pos = 0;
  // Positions below fast_end have at least kFastTail bytes left.
  const size_t fast_end = n >= kFastTail ? n - kFastTail + 1 : 0;

  // A group starts only while the output is no longer than the slice: once it is longer, the
  // stored form is shorter, and since the output only grows, stopping early changes nothing.
  do {
    const size_t control_pos = out_pos;
    out_pos += 2;
    uint32_t control = 0;
    unsigned items = 0;
    for (; items < kItemsPerGroup && pos < fast_end; ++items) {
      control = (control << 1) | (CodeItem(src, n, pos, table, out, out_pos) ? 1u : 0u);
    }
    for (; items < kItemsPerGroup && pos < n; ++items) {
      control = (control << 1) | (CodeItemNearEnd(src, n, pos, table, out, out_pos) ? 1u : 0u);
    }
    PutBigEndian16(out + control_pos, control << (kItemsPerGroup - items));
  } while (pos < n && out_pos <= n);

  if (out_pos > n) {
    out[0] = kCodecMethodStored;
    if (n > 0) std::memcpy(out + 1, src, n);
    return n + 1;
  }
  return out_pos;
}

// Decodes the compressed payload `payload` (at least 2 bytes, method byte first) into `dst`, which
// has room for kCodecSliceSize bytes, counting the bytes written in `produced`. Returns false at
// the first sign of damage; `produced` then counts what was decoded before it.
bool DecodeCompressed(std::span<const uint8_t> payload, uint8_t* dst, size_t& produced) {
  const uint8_t* in = payload.data();
  const size_t len = payload.size();
  size_t in_pos = 3;
  uint32_t control = len > 3 ? (uint32_t{in[1]} << 8) | in[2] : 0;
  unsigned bits_left = kItemsPerGroup;

  while (in_pos < len) {
    if (bits_left == 0) {
      // A control word always announces at least one item, so it must be followed by one.
      if (len - in_pos < 3) return false;
      control = (uint32_t{in[in_pos]} << 8) | in[in_pos + 1];
      in_pos += 2;
      bits_left = kItemsPerGroup;
    }
    if ((control & 0x8000) == 0) {
      // Take every literal this control word announces in a row at once; noisy data is mostly
      // literals, and one copy per row is much cheaper than one pass of the loop per byte.
      const unsigned zeros =
          static_cast<unsigned>(std::countl_zero(static_cast<uint16_t>(control)));
      const size_t count = std::min<size_t>(std::min(zeros, bits_left), len - in_pos);
      if (count > kCodecSliceSize - produced) return false;
      if (len - in_pos >= kItemsPerGroup && kCodecSliceSize - produced >= kItemsPerGroup) {
        // A fixed-size copy compiles to two moves; the bytes past `count` are overwritten later
        // or trimmed by the caller.
        std::memcpy(dst + produced, in + in_pos, kItemsPerGroup);
      } else {
        std::memcpy(dst + produced, in + in_pos, count);
      }
      produced += count;
      in_pos += count;
      control <<= count;
      bits_left -= static_cast<unsigned>(count);
      continue;
    }
    control <<= 1;
    --bits_left;

    if (len - in_pos < 2) return false;
    const size_t b0 = in[in_pos];
    const size_t b1 = in[in_pos + 1];
    const size_t offset = b0 * 16 + (b1 >> 4);
    if (offset != 0) {
      const size_t length = (b1 & 0x0F) + kMinMatch;
      if (offset > produced || length > kCodecSliceSize - produced) return false;
      in_pos += 2;
      uint8_t* to = dst + produced;
      const uint8_t* from = to - offset;
      if (offset >= kMaxMatch && kCodecSliceSize - produced >= kMaxMatch) {
        // Source and destination cannot overlap, so a fixed-size copy of the longest match is
        // safe; bytes past `length` are overwritten later or trimmed by the caller.
        std::memcpy(to, from, kMaxMatch);
      } else if (offset >= length) {
        std::memcpy(to, from, length);
      } else {
        // Overlapping copy: bytes written earlier in this copy are read again, repeating them.
        for (size_t i = 0; i < length; ++i) to[i] = from[i];
      }
      produced += length;
    } else {
      if (len - in_pos < 4) return false;
      const size_t count = b1 * 256 + in[in_pos + 2] + kMinRun;
      if (count > kCodecSliceSize - produced) return false;
      std::memset(dst + produced, in[in_pos + 3], count);
      in_pos += 4;
      produced += count;
    }
  }
  return true;
}

}  // namespace

std::vector<uint8_t> CompressSlice(std::span<const uint8_t> slice) {
  if (slice.size() > kCodecSliceSize) {
    throw std::invalid_argument("CompressSlice: slice longer than kCodecSliceSize");
  }
  HashTable table;
  std::vector<uint8_t> payload(slice.size() + kCompressSlack);
  payload.resize(CompressSliceInto(slice, table, payload.data()));
  return payload;
}

bool ExpandPayload(std::span<const uint8_t> payload, std::vector<uint8_t>& out) {
  const size_t len = payload.size();
  if (len < 2) return true;

  if (payload[0] == kCodecMethodStored) {
    if (len - 1 > kCodecSliceSize) return false;
    out.insert(out.end(), payload.begin() + 1, payload.end());
    return true;
  }

  // Decode straight into a full-size tail and trim it afterwards: every write is checked against
  // kCodecSliceSize, so the tail is never outgrown.
  const size_t start = out.size();
  out.resize(start + kCodecSliceSize);
  size_t produced = 0;
  const bool ok = DecodeCompressed(payload, out.data() + start, produced);
  out.resize(start + produced);
  return ok;
}

std::vector<uint8_t> CompressItem(std::span<const uint8_t> item) {
  const size_t slices = (item.size() + kCodecSliceSize - 1) / kCodecSliceSize;
  // A span holds at most PTRDIFF_MAX bytes, so this bound cannot overflow size_t. Reserving it
  // keeps the per-slice resizes below from reallocating.
  const size_t bound = item.size() + slices * 3 + kCompressSlack;
  std::vector<uint8_t> body;
  body.reserve(bound);

  HashTable table;
  for (size_t at = 0; at < item.size(); at += kCodecSliceSize) {
    const auto slice = item.subspan(at, std::min(kCodecSliceSize, item.size() - at));
    const size_t header = body.size();
    body.resize(header + 2 + slice.size() + kCompressSlack);
    const size_t length = CompressSliceInto(slice, table, body.data() + header + 2);
    body[header] = static_cast<uint8_t>(length);
    body[header + 1] = static_cast<uint8_t>(length >> 8);
    body.resize(header + 2 + length);
  }
  return body;
}

uint64_t ExpandBlocks(uint64_t body_size, const TBlockSource& source, const TBlockSink& sink,
                      uint64_t limit) {
  // One payload (its length is 16 bits) and one block's output; both are reused for every block.
  std::vector<uint8_t> payload(static_cast<size_t>(std::min<uint64_t>(body_size, 0xFFFF)));
  std::vector<uint8_t> out;
  out.reserve(kCodecSliceSize);
  auto read_exact = [&](uint8_t* to, size_t n) {
    if (n > 0 && source(std::span<uint8_t>(to, n)) != n) throw EKESCorruptBody();
  };

  uint64_t consumed = 0;
  uint64_t total = 0;
  while (consumed < body_size) {
    if (body_size - consumed < 2) throw EKESCorruptBody();
    uint8_t header[2];
    read_exact(header, 2);
    const size_t length = header[0] | (size_t{header[1]} << 8);
    consumed += 2;
    if (length > body_size - consumed) throw EKESCorruptBody();
    read_exact(payload.data(), length);
    consumed += length;
    out.clear();
    if (!ExpandPayload(std::span<const uint8_t>(payload.data(), length), out)) {
      throw EKESCorruptBody();
    }
    if (out.size() > limit - total) throw EKESCorruptBody();
    total += out.size();
    if (sink && !out.empty()) sink(out);
  }
  return total;
}

uint64_t ExpandBytes(std::span<const uint8_t> body, const TBlockSink& sink, uint64_t limit) {
  size_t pos = 0;
  const TBlockSource source = [&](std::span<uint8_t> buffer) {
    const size_t n = std::min(buffer.size(), body.size() - pos);
    std::memcpy(buffer.data(), body.data() + pos, n);
    pos += n;
    return n;
  };
  return ExpandBlocks(body.size(), source, sink, limit);
}

std::vector<uint8_t> ExpandItem(std::span<const uint8_t> body, uint64_t limit) {
  std::vector<uint8_t> item;
  ExpandBytes(
      body,
      [&](std::span<const uint8_t> bytes) { item.insert(item.end(), bytes.begin(), bytes.end()); },
      limit);
  return item;
}

}  // namespace sk
