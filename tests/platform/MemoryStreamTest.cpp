// The in-memory stream: reads, writes past the end, and positions beyond it.
#include <gtest/gtest.h>

#include "platform/MemoryStream.h"

namespace sk {
namespace {

TEST(MemoryStreamTest, WritesGrowAndReadsStopAtEnd) {
  TMemoryStream stream;
  const uint8_t abc[] = {'a', 'b', 'c'};
  stream.Write(abc);
  stream.Seek(5);
  stream.Write(abc);
  EXPECT_EQ(stream.Size(), 8u);
  EXPECT_EQ(stream.Position(), 8u);
  stream.Seek(2);
  uint8_t buffer[10] = {};
  EXPECT_EQ(stream.Read(buffer), 6u);
  EXPECT_EQ(buffer[0], 'c');
  EXPECT_EQ(buffer[1], 0);  // the gap is filled with zeros
  EXPECT_EQ(stream.Read(buffer), 0u);
  stream.Seek(100);
  EXPECT_EQ(stream.Read(buffer), 0u);
}

}  // namespace
}  // namespace sk
