// Tests of the block codec: exact compressor output on hand-worked inputs, hand-built payloads for
// the decoder, round trips, and damaged streams that must be rejected without touching memory
// outside the buffers (run under AddressSanitizer).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "store/KESCodec.h"

namespace sk {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Repeat(size_t count, uint8_t value) { return Bytes(count, value); }

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes FromText(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes RandomBytes(size_t count, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out(count);
  for (uint8_t& b : out) b = static_cast<uint8_t>(rng());
  return out;
}

// Data that exercises every item kind: runs of all lengths, noise, and repeats of recent text at
// short and long distances.
Bytes MixedBytes(size_t count, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out;
  out.reserve(count + 5000);
  while (out.size() < count) {
    switch (rng() % 4) {
      case 0:
        out.insert(out.end(), 1 + rng() % 5000, static_cast<uint8_t>(rng()));
        break;
      case 1:
        for (uint32_t n = 1 + rng() % 64; n > 0; --n) out.push_back(static_cast<uint8_t>(rng()));
        break;
      default:
        if (out.size() > 0) {
          const size_t distance = 1 + rng() % std::min<size_t>(out.size(), 6000);
          const size_t from = out.size() - distance;
          for (uint32_t n = 1 + rng() % 40; n > 0; --n) out.push_back(out[from + n % distance]);
        }
        break;
    }
  }
  out.resize(count);
  return out;
}

// The payloads of a block stream, in order; fails the test when the stream is not well framed.
std::vector<Bytes> SplitBlocks(const Bytes& body) {
  std::vector<Bytes> payloads;
  size_t pos = 0;
  while (pos < body.size()) {
    EXPECT_GE(body.size() - pos, 2u);
    if (body.size() - pos < 2) break;
    const size_t length = body[pos] | (body[pos + 1] << 8);
    pos += 2;
    EXPECT_LE(length, body.size() - pos);
    if (length > body.size() - pos) break;
    payloads.emplace_back(body.begin() + pos, body.begin() + pos + length);
    pos += length;
  }
  return payloads;
}

// Eight run codes of 4095 bytes of `value`: 0x00, (4095 - 16) >> 8, (4095 - 16) & 0xFF, value.
Bytes EightMaxRuns(uint8_t value) {
  Bytes runs;
  for (int i = 0; i < 8; ++i) runs.insert(runs.end(), {0x00, 0x0F, 0xEF, value});
  return runs;
}

Bytes Ascending(size_t count) {
  Bytes out(count);
  for (size_t i = 0; i < count; ++i) out[i] = static_cast<uint8_t>(i);
  return out;
}

TEST(KESCodecTest, CompressSliceWritesTheFixedByteSequence) {
  struct Case {
    const char* name;
    Bytes slice;
    Bytes payload;
  };
  const Case cases[] = {
      {"32768 equal bytes: eight longest runs, a literal, then offset 1 length 7",
       Repeat(32768, 0x5A), Concat({{0x40, 0xFF, 0x40}, EightMaxRuns(0x5A), {0x5A}, {0x00, 0x14}})},
      {"16 equal bytes: the shortest run code",
       Repeat(16, 0x07),
       {0x40, 0x80, 0x00, 0x00, 0x00, 0x00, 0x07}},
      {"15 equal bytes: too short for a run, so a literal and offset 1 length 14",
       Repeat(15, 0x07),
       {0x40, 0x40, 0x00, 0x07, 0x00, 0x1B}},
      {"abcabcabc: three literals, then offset 3 length 6",
       FromText("abcabcabc"),
       {0x40, 0x10, 0x00, 'a', 'b', 'c', 0x00, 0x33}},
      {"payload exactly as long as the slice stays compressed",
       FromText("abcXabcYabcZabc"),
       {0x40, 0x0A, 0x80, 'a', 'b', 'c', 'X', 0x00, 0x40, 'Y', 0x00, 0x40, 'Z', 0x00, 0x40}},
      {"payload one byte longer than the slice is stored", FromText("abcXabcYabcZab"),
       Concat({{0x80}, FromText("abcXabcYabcZab")})},
      {"17th item opens a second control word", Concat({Ascending(17), Repeat(100, 0xEE)}),
       Concat({{0x40, 0x00, 0x00}, Ascending(16), {0x40, 0x00, 0x10, 0x00, 0x00, 0x54, 0xEE}})},
      // After 128 literals the output is exactly as long as the slice, so the loop goes on to
      // write one more control word and a run code (6 bytes past the slice length) before it stops.
      {"128 literals and a run of 17: overshoot by a control word and a run, stored",
       Concat({Ascending(128), Repeat(17, 0xC8)}),
       Concat({{0x80}, Ascending(128), Repeat(17, 0xC8)})},
      // The run code covers the gap and leaves the hash table alone, so the second XYZ finds
      // the first one 4095 bytes back: code 0xFF 0xF0 = offset 4095, length 3.
      {"a match 4095 bytes back is taken",
       Concat({FromText("XYZ"), Repeat(4092, 0x00), FromText("XYZ")}),
       Concat({{0x40, 0x18, 0x00}, FromText("XYZ"), {0x00, 0x0F, 0xEC, 0x00, 0xFF, 0xF0}})},
      {"a match 4096 bytes back is out of reach",
       Concat({FromText("XYZ"), Repeat(4093, 0x00), FromText("XYZ")}),
       Concat({{0x40, 0x10, 0x00}, FromText("XYZ"), {0x00, 0x0F, 0xED, 0x00}, FromText("XYZ")})},
      // 19 literals over two groups, code 0x01 0x3F = offset 19 length 18, then the last 's'.
      {"a match stops at 18 bytes", FromText("abcdefghijklmnopqrsabcdefghijklmnopqrs"),
       Concat({{0x40, 0x00, 0x00},
               FromText("abcdefghijklmnop"),
               {0x10, 0x00},
               FromText("qrs"),
               {0x01, 0x3F, 's'}})},
      // The same three decisions with two dozen literals after them, so that they are made
      // far from the end of the slice, where the compressor reads whole words.
      {"a match 4095 bytes back is taken far from the end",
       Concat({FromText("XYZ"), Repeat(4092, 0x00), FromText("XYZ"),
               FromText("abcdefghijklmnopqrstuvwx")}),
       Concat({{0x40, 0x18, 0x00},
               FromText("XYZ"),
               {0x00, 0x0F, 0xEC, 0x00, 0xFF, 0xF0},
               FromText("abcdefghijk"),
               {0x00, 0x00},
               FromText("lmnopqrstuvwx")})},
      {"a match 4096 bytes back is out of reach far from the end",
       Concat({FromText("XYZ"), Repeat(4093, 0x00), FromText("XYZ"),
               FromText("abcdefghijklmnopqrstuvwx")}),
       Concat({{0x40, 0x10, 0x00},
               FromText("XYZ"),
               {0x00, 0x0F, 0xED, 0x00},
               FromText("XYZabcdefghi"),
               {0x00, 0x00},
               FromText("jklmnopqrstuvwx")})},
      {"a match stops at 18 bytes far from the end",
       FromText("abcdefghijklmnopqrsabcdefghijklmnopqrsABCDEFGHIJKLMNOPQRSTUVWX"),
       Concat({{0x40, 0x00, 0x00},
               FromText("abcdefghijklmnop"),
               {0x10, 0x00},
               FromText("qrs"),
               {0x01, 0x3F},
               FromText("sABCDEFGHIJK"),
               {0x00, 0x00},
               FromText("LMNOPQRSTUVWX")})},
      {"one byte is stored", {0x41}, {0x80, 0x41}},
      {"random bytes are stored", RandomBytes(32768, 1), Concat({{0x80}, RandomBytes(32768, 1)})},
      {"short random bytes are stored", RandomBytes(777, 2), Concat({{0x80}, RandomBytes(777, 2)})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CompressSlice(c.slice), c.payload);
    Bytes out;
    ASSERT_TRUE(ExpandPayload(c.payload, out));
    EXPECT_EQ(out, c.slice);
  }
}

TEST(KESCodecTest, CompressItemFramesOneBlockPerSlice) {
  struct Case {
    const char* name;
    Bytes item;
    Bytes body;
  };
  const Case cases[] = {
      {"empty item: no blocks", {}, {}},
      {"32768 equal bytes: one block of 38 payload bytes", Repeat(32768, 0x5A),
       Concat({{38, 0x00, 0x40, 0xFF, 0x40}, EightMaxRuns(0x5A), {0x5A, 0x00, 0x14}})},
      {"32769 equal bytes: second block is the 1-byte slice, stored", Repeat(32769, 0x5A),
       Concat({{38, 0x00, 0x40, 0xFF, 0x40},
               EightMaxRuns(0x5A),
               {0x5A, 0x00, 0x14},
               {0x02, 0x00, 0x80, 0x5A}})},
      {"random 32768 bytes: stored block of 32769 payload bytes", RandomBytes(32768, 3),
       Concat({{0x01, 0x80, 0x80}, RandomBytes(32768, 3)})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CompressItem(c.item), c.body);
    EXPECT_EQ(ExpandItem(c.body), c.item);
  }
}

TEST(KESCodecTest, ExpandPayloadDecodesHandBuiltPayloads) {
  struct Case {
    const char* name;
    Bytes payload;
    Bytes output;
  };
  const Case cases[] = {
      {"empty payload", {}, {}},
      {"method byte alone", {0x40}, {}},
      {"stored method alone", {0x80}, {}},
      {"method and half a control word", {0x40, 0xFF}, {}},
      {"control word without items", {0x40, 0xFF, 0xFF}, {}},
      {"stored slice", {0x80, 0x01, 0x02, 0x03}, {0x01, 0x02, 0x03}},
      {"any method but 0x80 is compressed", {0x00, 0x00, 0x00, 'x'}, {'x'}},
      {"bits left in the control word after the last item are ignored",
       {0x40, 0x7F, 0xFF, 'z'},
       {'z'}},
      // control 01..: literal 0x33, then code 0x00 0x1F = offset 1, length 15 + 3.
      {"offset 1 length 18 continues a run of 19 bytes",
       {0x40, 0x40, 0x00, 0x33, 0x00, 0x1F},
       Repeat(19, 0x33)},
      // control 001..: literals a b, then code 0x00 0x24 = offset 2, length 4 + 3.
      {"overlapping offset 2 length 7 repeats a pair",
       {0x40, 0x20, 0x00, 'a', 'b', 0x00, 0x24},
       FromText("ababababa")},
      // control 0001..: literals a b c d, then code 0x00 0x40 = offset 4, length 3.
      {"offset equal to the bytes produced reaches the block start",
       {0x40, 0x08, 0x00, 'a', 'b', 'c', 'd', 0x00, 0x40},
       FromText("abcdabc")},
      // code 0x00 0x0F 0xFF 0x7E: offset 0, count 15 * 256 + 255 + 16.
      {"run code with the largest count 4111",
       {0x40, 0x80, 0x00, 0x00, 0x0F, 0xFF, 0x7E},
       Repeat(4111, 0x7E)},
      // 8 runs of 4095 and 8 literals fill the block exactly.
      {"output of exactly 32768 bytes",
       Concat({{0x40, 0xFF, 0x00}, EightMaxRuns(0x01), Repeat(8, 0x01)}), Repeat(32768, 0x01)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Output is appended after whatever an earlier block left.
    Bytes out = {0xAA, 0xBB};
    ASSERT_TRUE(ExpandPayload(c.payload, out));
    EXPECT_EQ(out, Concat({{0xAA, 0xBB}, c.output}));
  }
}

TEST(KESCodecTest, ExpandPayloadRejectsDamagedPayloads) {
  struct Case {
    const char* name;
    Bytes payload;
  };
  const Case cases[] = {
      // control 1..: code 0x00 0x10 = offset 1 with nothing produced yet.
      {"back-reference before any output", {0x40, 0x80, 0x00, 0x00, 0x10}},
      // control 01..: literal 'a', then code 0x00 0x20 = offset 2, one byte produced.
      {"back-reference one byte before the block start", {0x40, 0x40, 0x00, 'a', 0x00, 0x20}},
      // control 01..: literal 'a', then code 0xFF 0xFF = offset 4095.
      {"back-reference of the largest offset", {0x40, 0x40, 0x00, 'a', 0xFF, 0xFF}},
      // control 1111 1111 1..: nine runs of 4095 bytes.
      {"runs past 32768 bytes",
       Concat({{0x40, 0xFF, 0x80}, EightMaxRuns(0x01), {0x00, 0x0F, 0xEF, 0x01}})},
      // control 1111 1111 01..: eight runs, a literal, then offset 1 length 18 ends at 32779.
      {"back-reference past 32768 bytes",
       Concat({{0x40, 0xFF, 0x40}, EightMaxRuns(0x01), {0x01, 0x00, 0x1F}})},
      // First group: 8 runs and 8 literals make 32768 bytes; second group: one more literal.
      {"literal past 32768 bytes",
       Concat({{0x40, 0xFF, 0x00}, EightMaxRuns(0x01), Repeat(8, 0x01), {0x00, 0x00, 0x01}})},
      {"stored payload of 32769 bytes", Concat({{0x80}, Repeat(32769, 0x01)})},
      // control 01..: literal 'a', then only b0 of a back-reference.
      {"back-reference cut short", {0x40, 0x40, 0x00, 'a', 0x00}},
      // control 1..: code 0x00 0x05 0x00 with the value byte missing.
      {"run code cut short", {0x40, 0x80, 0x00, 0x00, 0x05, 0x00}},
      // 16 literals, then one byte where the next control word belongs.
      {"control word cut short", Concat({{0x40, 0x00, 0x00}, Repeat(16, 0x01), {0x00}})},
      // 16 literals, then a control word that announces an item the payload does not have.
      {"control word without its item", Concat({{0x40, 0x00, 0x00}, Repeat(16, 0x01), {0, 0}})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes earlier(5000, 0xAA);
    Bytes out = earlier;
    EXPECT_FALSE(ExpandPayload(c.payload, out));
    // Earlier output stays; a back-reference may not reach into it.
    ASSERT_GE(out.size(), earlier.size());
    EXPECT_LE(out.size() - earlier.size(), kCodecSliceSize);
    EXPECT_TRUE(std::equal(earlier.begin(), earlier.end(), out.begin()));

    const Bytes body = Concat(
        {{static_cast<uint8_t>(c.payload.size()), static_cast<uint8_t>(c.payload.size() >> 8)},
         c.payload});
    EXPECT_THROW(ExpandItem(body), EKESCorruptBody);
  }
}

TEST(KESCodecTest, ExpandItemRejectsDamagedFraming) {
  struct Case {
    const char* name;
    Bytes body;
  };
  const Case cases[] = {
      {"block header cut short", {0x05}},
      {"block header cut short after a good block", {0x02, 0x00, 0x80, 'A', 0x03}},
      // L = 5 but only 0x80 'A' follows.
      {"payload length past the end", {0x05, 0x00, 0x80, 'A'}},
      // Block 1 stores "ab"; block 2's offset 1 would reach into block 1's output.
      {"back-reference into the previous block",
       {0x03, 0x00, 0x80, 'a', 'b', 0x05, 0x00, 0x40, 0x80, 0x00, 0x00, 0x10}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_THROW(ExpandItem(c.body), EKESCorruptBody);
  }
}

TEST(KESCodecTest, ExpandItemAcceptsEmptyBlocks) {
  // A zero-length payload decodes to nothing; it is not damage.
  EXPECT_EQ(ExpandItem(Bytes{0x00, 0x00, 0x02, 0x00, 0x80, 'A', 0x00, 0x00}), Bytes{'A'});
}

TEST(KESCodecTest, ExpansionStopsBeforeTheBlockThatPassesTheLimit) {
  // One block that expands 32768 bytes of 'x' (a 38-byte payload), repeated.
  const Bytes block = CompressItem(Repeat(kCodecSliceSize, 'x'));
  ASSERT_EQ(block.size(), 40u);
  Bytes body;
  for (int i = 0; i < 4; ++i) body.insert(body.end(), block.begin(), block.end());
  struct Case {
    const char* name;
    uint64_t limit;
    bool refused;
    size_t delivered;  // bytes the sink received
  };
  const Case cases[] = {
      {"limit exactly the expanded size", 4 * kCodecSliceSize, false, 4 * kCodecSliceSize},
      {"one byte short", 4 * kCodecSliceSize - 1, true, 3 * kCodecSliceSize},
      {"limit below one block", 100, true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    size_t pos = 0, delivered = 0;
    const TBlockSource source = [&](std::span<uint8_t> to) {
      const size_t n = std::min(to.size(), body.size() - pos);
      std::copy_n(body.begin() + static_cast<ptrdiff_t>(pos), n, to.begin());
      pos += n;
      return n;
    };
    const TBlockSink sink = [&](std::span<const uint8_t> bytes) { delivered += bytes.size(); };
    if (c.refused) {
      EXPECT_THROW(ExpandBlocks(body.size(), source, sink, c.limit), EKESCorruptBody);
      EXPECT_THROW(ExpandItem(body, c.limit), EKESCorruptBody);
    } else {
      EXPECT_EQ(ExpandBlocks(body.size(), source, sink, c.limit), 4 * kCodecSliceSize);
      EXPECT_EQ(ExpandItem(body, c.limit), Repeat(4 * kCodecSliceSize, 'x'));
    }
    EXPECT_EQ(delivered, c.delivered);
  }
  // Without a sink the stream is only counted.
  size_t pos = 0;
  EXPECT_EQ(ExpandBlocks(
                body.size(),
                [&](std::span<uint8_t> to) {
                  const size_t n = std::min(to.size(), body.size() - pos);
                  std::copy_n(body.begin() + static_cast<ptrdiff_t>(pos), n, to.begin());
                  pos += n;
                  return n;
                },
                nullptr),
            4 * kCodecSliceSize);
}

TEST(KESCodecTest, ItemsRoundTrip) {
  struct Case {
    const char* name;
    Bytes item;
  };
  const Case cases[] = {
      {"empty", {}},
      {"1 byte", {0x00}},
      {"2 bytes", {0xFF, 0xFF}},
      {"3 bytes", {'a', 'a', 'a'}},
      {"text", FromText("It was a bright cold day in April, and the clocks were striking "
                        "thirteen. It was a bright cold day in April, and the clocks were "
                        "striking thirteen once more.")},
      {"mixed runs and literals", MixedBytes(20000, 4)},
      {"32768 mixed bytes", MixedBytes(32768, 5)},
      {"32769 mixed bytes", MixedBytes(32769, 6)},
      {"65535 random bytes", RandomBytes(65535, 7)},
      {"3 MB of mixed data", MixedBytes(3 << 20, 8)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes body = CompressItem(c.item);
    const std::vector<Bytes> payloads = SplitBlocks(body);
    EXPECT_EQ(payloads.size(), (c.item.size() + kCodecSliceSize - 1) / kCodecSliceSize);
    for (const Bytes& payload : payloads) {
      // A payload is never longer than its slice plus the method byte.
      EXPECT_LE(payload.size(), kCodecSliceSize + 1);
    }
    EXPECT_EQ(ExpandItem(body), c.item);
  }
}

TEST(KESCodecTest, EveryTruncatedPayloadIsRejectedOrDecodesAPrefix) {
  const Bytes slice = MixedBytes(kCodecSliceSize, 9);
  const Bytes payload = CompressSlice(slice);
  ASSERT_EQ(payload[0], kCodecMethodCompressed);
  for (size_t length = 0; length < payload.size(); ++length) {
    // An exact-size copy, so that AddressSanitizer catches any read past the end.
    const Bytes cut(payload.begin(), payload.begin() + length);
    Bytes out;
    if (ExpandPayload(cut, out)) {
      ASSERT_LE(out.size(), slice.size()) << "length " << length;
      ASSERT_TRUE(std::equal(out.begin(), out.end(), slice.begin())) << "length " << length;
    }
  }
}

TEST(KESCodecTest, TruncatedBodyThrowsUnlessCutAtABlockBoundary) {
  const Bytes item = MixedBytes(3 * kCodecSliceSize + 100, 10);
  const Bytes body = CompressItem(item);
  std::vector<size_t> boundaries = {0};
  for (const Bytes& payload : SplitBlocks(body))
    boundaries.push_back(boundaries.back() + 2 + payload.size());

  for (size_t length = 0; length < body.size(); length += 1 + length % 61) {
    const Bytes cut(body.begin(), body.begin() + length);
    const auto boundary = std::find(boundaries.begin(), boundaries.end(), length);
    if (boundary == boundaries.end()) {
      EXPECT_THROW(ExpandItem(cut), EKESCorruptBody) << "length " << length;
    } else {
      const size_t blocks = boundary - boundaries.begin();
      const Bytes expected(item.begin(),
                           item.begin() + std::min(item.size(), blocks * kCodecSliceSize));
      EXPECT_EQ(ExpandItem(cut), expected) << "length " << length;
    }
  }
  for (size_t boundary : boundaries) {
    for (size_t length : {boundary + 1, boundary + 2, boundary + 3}) {
      if (length >= body.size()) continue;
      EXPECT_THROW(ExpandItem(Bytes(body.begin(), body.begin() + length)), EKESCorruptBody)
          << "length " << length;
    }
  }
}

TEST(KESCodecTest, ExpandPayloadStaysInBoundsOnCorruptedInput) {
  std::mt19937 rng(11);
  const Bytes payload = CompressSlice(MixedBytes(kCodecSliceSize, 12));
  ASSERT_EQ(payload[0], kCodecMethodCompressed);
  for (int trial = 0; trial < 300; ++trial) {
    Bytes damaged = payload;
    for (int flips = 1 + rng() % 8; flips > 0; --flips) {
      damaged[1 + rng() % (damaged.size() - 1)] = static_cast<uint8_t>(rng());
    }
    Bytes out;
    ExpandPayload(damaged, out);
    EXPECT_LE(out.size(), kCodecSliceSize);
  }
  for (int trial = 0; trial < 300; ++trial) {
    Bytes noise = RandomBytes(rng() % 3000, rng());
    if (!noise.empty()) noise[0] = kCodecMethodCompressed;
    Bytes out;
    ExpandPayload(noise, out);
    EXPECT_LE(out.size(), kCodecSliceSize);
  }
}

}  // namespace
}  // namespace sk
