// Block compression of item bodies: a byte-oriented LZ77 coder with run codes, working on
// independent slices of at most 32768 bytes. The byte format is described in KESCodec.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <vector>

namespace sk {

// Largest number of item bytes one block holds, and so the largest output of one block.
inline constexpr size_t kCodecSliceSize = 32768;

// Method byte of a block payload that holds its slice verbatim.
inline constexpr uint8_t kCodecMethodStored = 0x80;
// Method byte the compressor writes for a compressed payload; a decoder treats every method
// other than kCodecMethodStored as compressed.
inline constexpr uint8_t kCodecMethodCompressed = 0x40;

inline constexpr const char* kCorruptBodyMessage = "Compressed item body is damaged";

// A compressed item body that cannot be expanded: a block or a payload is cut short, or a payload
// decodes outside the bounds of its block.
class EKESCorruptBody : public std::runtime_error {
 public:
  EKESCorruptBody() : std::runtime_error(kCorruptBodyMessage) {}
};

// Compresses one slice of at most kCodecSliceSize bytes into a block payload, method byte first.
// The output is fully determined by the input: one hash candidate per position (no chains) and
// run codes tried before matches. When the compressed form would be longer than the slice, the
// payload is the stored form (0x80 and the slice, slice.size() + 1 bytes). Raises
// std::invalid_argument when slice.size() > kCodecSliceSize.
std::vector<uint8_t> CompressSlice(std::span<const uint8_t> slice);

// Decodes one block payload and appends its output (at most kCodecSliceSize bytes) to `out`.
// A payload shorter than 2 bytes decodes to nothing. Returns false when the payload is damaged:
// a back-reference reaching before the first byte this payload produced, output beyond
// kCodecSliceSize bytes, or a control word or code item cut short by the end of the payload.
// It never reads outside `payload` nor writes outside `out`, and it ends after one pass over the
// payload. On failure `out` holds its previous contents followed by whatever was decoded before
// the damage. Memory exhaustion raises std::bad_alloc.
bool ExpandPayload(std::span<const uint8_t> payload, std::vector<uint8_t>& out);

// The largest item the store holds: sizes are signed 32-bit values, so a block stream that expands
// to more than this is refused as damaged.
inline constexpr uint64_t kMaxItemSize = 2147483647;

// No block stream expands to more than this many times its own size: the densest code is a 4-byte
// run code that writes at most 4111 bytes.
inline constexpr uint64_t kMaxExpansionRatio = 1028;

// Where a block stream comes from: fills the span from the stream's next bytes and returns how
// many it gave, fewer only at the end of the stream.
using TBlockSource = std::function<size_t(std::span<uint8_t> buffer)>;
// Where expanded bytes go, one block's output (at most kCodecSliceSize bytes) at a time.
using TBlockSink = std::function<void(std::span<const uint8_t> bytes)>;

// Expands a block stream of body_size bytes read from `source`, handing the output of each block
// to `sink` as soon as it is decoded, so that no more than one block is held here (a payload of at
// most 65535 bytes and kCodecSliceSize of output). A null sink only counts. Returns the expanded
// size. Raises EKESCorruptBody when a block header or payload is cut short (by body_size or by the
// source ending early), when ExpandPayload rejects a payload, or when the output would pass `limit`
// bytes; in that case nothing of the block that would pass it reaches the sink. Memory exhaustion
// raises std::bad_alloc; whatever the source or sink raise passes through.
uint64_t ExpandBlocks(uint64_t body_size, const TBlockSource& source, const TBlockSink& sink,
                      uint64_t limit = kMaxItemSize);

// Compresses a whole item into its block stream: for each kCodecSliceSize slice (the last one
// shorter) a 2-byte little-endian payload length followed by the payload from CompressSlice. An
// empty item gives an empty stream. Memory exhaustion raises std::bad_alloc.
std::vector<uint8_t> CompressItem(std::span<const uint8_t> item);

// Expands a block stream written by CompressItem, concatenating the output of its blocks (see
// ExpandBlocks, which it uses). The output grows as blocks are decoded: nothing is reserved from
// what the headers claim. Raises EKESCorruptBody as ExpandBlocks does, also for output beyond
// `limit` bytes. Memory exhaustion raises std::bad_alloc.
std::vector<uint8_t> ExpandItem(std::span<const uint8_t> body, uint64_t limit = kMaxItemSize);

// Expands a block stream held in memory, handing each block's output to sink as ExpandBlocks
// does (a null sink only counts); returns the expanded size and raises as ExpandBlocks does.
uint64_t ExpandBytes(std::span<const uint8_t> body, const TBlockSink& sink,
                     uint64_t limit = kMaxItemSize);

}  // namespace sk
