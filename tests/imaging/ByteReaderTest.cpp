// The shared bounds-checked byte reader: values in both byte orders, sub-ranges, and the codec's
// own message on every read past the end.
#include "imaging/ByteReader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "imaging/InvalidGraphic.h"
#include "platform/Files.h"

namespace sk {
namespace {

const std::vector<uint8_t> kBytes = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};

TEST(ByteReaderTest, ReadsValuesInBothByteOrders) {
  TByteReader little(kBytes, kUnrecognizedTiff);
  EXPECT_EQ(little.U8(), 0x01);
  EXPECT_EQ(little.U16(), 0x0302);
  EXPECT_EQ(little.U32(), 0x07060504u);
  EXPECT_EQ(little.Remaining(), 1u);

  TByteReader big(kBytes, kUnrecognizedTiff, TByteOrder::kBigEndian);
  EXPECT_EQ(big.U16(), 0x0102);
  EXPECT_EQ(big.U32(), 0x03040506u);
  EXPECT_EQ(big.U16LE(), 0x0807);
  EXPECT_TRUE(big.AtEnd());

  EXPECT_EQ(big.U32At(4), 0x05060708u);
  EXPECT_EQ(little.U16At(6), 0x0807);
  EXPECT_EQ(TByteReader(std::vector<uint8_t>{0xFF, 0xFE}, kUnrecognizedBmp).S16LE(), -257);
}

TEST(ByteReaderTest, SubRangesStartAtTheirOffsetAndKeepOrderAndMessage) {
  const TByteReader reader(kBytes, kUnrecognizedPcx, TByteOrder::kBigEndian);
  TByteReader sub = reader.Sub(2, 4);
  EXPECT_EQ(sub.Size(), 4u);
  EXPECT_EQ(sub.U16(), 0x0304);
  EXPECT_EQ(sub.U16(), 0x0506);
  EXPECT_STREQ(sub.Message(), kUnrecognizedPcx);
  try {
    sub.U8();
    FAIL() << "read past the sub-range";
  } catch (const EInvalidGraphic& error) {
    EXPECT_STREQ(error.what(), kUnrecognizedPcx);
  }
  EXPECT_TRUE(reader.Contains(8, 0));
  EXPECT_FALSE(reader.Contains(9, 0));
  EXPECT_FALSE(reader.Contains(4, UINT64_MAX));
}

TEST(ByteReaderTest, EveryReadPastTheEndRaisesTheCodecsMessageAndKeepsThePosition) {
  using TRead = std::function<void(TByteReader&)>;
  const std::pair<const char*, TRead> reads[] = {
      {"U8 at end", [](TByteReader& r) { r.Seek(8), r.U8(); }},
      {"U16 across end", [](TByteReader& r) { r.Seek(7), r.U16(); }},
      {"U32 across end", [](TByteReader& r) { r.Seek(5), r.U32BE(); }},
      {"Seek past end", [](TByteReader& r) { r.Seek(9); }},
      {"Skip past end", [](TByteReader& r) { r.Skip(9); }},
      {"Take huge", [](TByteReader& r) { r.Take(UINT64_MAX); }},
      {"U32At across end", [](TByteReader& r) { r.U32At(6); }},
      {"SpanAt overflowing", [](TByteReader& r) { r.SpanAt(UINT64_MAX - 1, 4); }},
      {"Sub outside", [](TByteReader& r) { r.Sub(4, 5); }},
      {"ReadInto short", [](TByteReader& r) {
         std::vector<uint8_t> buffer(9);
         r.ReadInto(buffer);
       }},
  };
  for (const auto& [name, read] : reads) {
    SCOPED_TRACE(name);
    TByteReader reader(kBytes, kUnrecognizedGif);
    try {
      read(reader);
      ADD_FAILURE() << "no error";
    } catch (const EInvalidGraphic& error) {
      EXPECT_STREQ(error.what(), kUnrecognizedGif);
    }
  }
  TByteReader reader(kBytes, kUnrecognizedGif);
  reader.Seek(6);
  EXPECT_THROW(reader.U32(), EInvalidGraphic);
  EXPECT_EQ(reader.Position(), 6u);
}

TEST(ByteReaderTest, WholeFileReadIsCappedAndPassesFileErrors) {
  const std::string path = TempDirectory() + "/byte-reader-test.bin";
  {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(kBytes.data()), kBytes.size());
  }
  EXPECT_EQ(ReadPictureFile(path, kUnrecognizedBmp), kBytes);
  EXPECT_EQ(ReadPictureFile(path, kUnrecognizedBmp, 8), kBytes);
  EXPECT_THROW(ReadPictureFile(path, kUnrecognizedBmp, 7), EInvalidGraphic);
  DeleteFile(path);
  EXPECT_THROW(ReadPictureFile(path, kUnrecognizedBmp), EOSError);
}

}  // namespace
}  // namespace sk
