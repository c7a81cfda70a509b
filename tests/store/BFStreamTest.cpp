// Buffered index streams: refills across the buffer end, whole-buffer writes, buffer sizing,
// the committing temporary writer and the file helpers.
#include <gtest/gtest.h>

#include <cerrno>

#include "store/BFStream.h"
#include "tests/store/StoreTestUtil.h"

namespace sk {
namespace {

using test::Bytes;
using test::ReadBytes;
using test::WriteBytes;

class BFStreamTest : public test::StoreTest {};

TEST_F(BFStreamTest, SmallFileGetsMinimumBuffer) {
  WriteBytes(Path("small"), Bytes(10, 'x'));
  TBFStream stream(Path("small"), -1, FileMode::kRead);
  EXPECT_EQ(stream.BufferSize(), 1024u);
}

TEST_F(BFStreamTest, KeyStraddlingBufferEndIsReadAfterRefill) {
  // 1023 usable bytes: a 1000-byte filler, then a key that crosses the buffer's end.
  Bytes bytes;
  test::AppendText(bytes, std::string(1000, 'f'));
  bytes.push_back(0);
  const std::string key = "straddling-key-" + std::string(40, 'k');
  test::AppendText(bytes, key);
  bytes.push_back(0);
  test::AppendLE32(bytes, -7);
  WriteBytes(Path("index"), bytes);

  TBFStream stream(Path("index"), 0, FileMode::kRead);
  ASSERT_EQ(stream.BufferSize(), 1024u);
  std::string text;
  ASSERT_TRUE(stream.ReadString(text));
  EXPECT_EQ(text.size(), 255u);  // at most 255 characters are kept
  ASSERT_TRUE(stream.ReadString(text));
  EXPECT_EQ(text, key);
  int32_t value = 0;
  ASSERT_TRUE(stream.ReadInteger(value));
  EXPECT_EQ(value, -7);
  EXPECT_FALSE(stream.ReadInteger(value));
  EXPECT_FALSE(stream.ReadString(text));
}

TEST_F(BFStreamTest, WritesWholeBufferOnlyWhenNextRecordDoesNotFit) {
  {
    TTempBFStream stream(Path("target"));
    // 32767 usable bytes: 32767 records of one zero-length key each fill it exactly.
    for (int i = 0; i < 32767; ++i) stream.WriteString("");
    const auto in_temp = TempFiles();
    ASSERT_EQ(in_temp.size(), 1u);
    EXPECT_EQ(ReadBytes(Path("tmp/" + in_temp[0])).size(), 0u);
    stream.WriteInteger(1);
    EXPECT_EQ(ReadBytes(Path("tmp/" + in_temp[0])).size(), 32767u);
    stream.Commit();
  }
  EXPECT_EQ(ReadBytes(Path("target")).size(), 32771u);
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(BFStreamTest, UncommittedWriterLeavesTargetAndRemovesItsFile) {
  WriteBytes(Path("target"), test::BytesOf("old"));
  {
    TTempBFStream stream(Path("target"));
    stream.WriteString("new");
  }
  EXPECT_EQ(ReadBytes(Path("target")), test::BytesOf("old"));
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(BFStreamTest, MissingTempNameRaisesIndexError) {
  SetFileFaultHook([](std::string_view op, const std::string&) { return op == "create" ? ENOSPC : 0; });
  try {
    TTempBFStream stream(Path("target"));
    ADD_FAILURE();
  } catch (const EKESIndexError& e) {
    EXPECT_STREQ(e.what(),
                 "Could not create a necessary temporary file...\r yeah.. even I need temporary files");
  }
  SetFileFaultHook(nullptr);
}

TEST_F(BFStreamTest, TempNamesAreUniqueFilesWithPrefix) {
  const std::string a = GetTempName("KES"), b = GetTempName("KES");
  EXPECT_NE(a, b);
  EXPECT_TRUE(FileExists(a));
  EXPECT_EQ(ExtractFileName(a).substr(0, 3), "KES");
  EXPECT_EQ(ExtractFileDir(a), Path("tmp"));
}

TEST_F(BFStreamTest, MoveAcrossFileSystemsCopiesAndDeletesSource) {
  WriteBytes(Path("source"), test::BytesOf("payload"));
  WriteBytes(Path("target"), test::BytesOf("old"));
  int renames = 0;
  SetFileFaultHook([&](std::string_view op, const std::string&) {
    return op == "rename" && renames++ == 0 ? EXDEV : 0;
  });
  MoveFileOver(Path("source"), Path("target"));
  SetFileFaultHook(nullptr);
  EXPECT_EQ(ReadBytes(Path("target")), test::BytesOf("payload"));
  EXPECT_FALSE(FileExists(Path("source")));
}

TEST_F(BFStreamTest, FailedMoveKeepsTargetAndReports) {
  WriteBytes(Path("source"), test::BytesOf("payload"));
  WriteBytes(Path("target"), test::BytesOf("old"));
  SetFileFaultHook([](std::string_view op, const std::string&) { return op == "rename" ? EIO : 0; });
  EXPECT_THROW(MoveFileOver(Path("source"), Path("target")), EOSError);
  SetFileFaultHook(nullptr);
  EXPECT_EQ(ReadBytes(Path("target")), test::BytesOf("old"));
  EXPECT_TRUE(FileExists(Path("source")));
}

TEST(AllocateBufferTest, ClampsHint) {
  EXPECT_EQ(AllocateBuffer(0).size(), 1024u);
  EXPECT_EQ(AllocateBuffer(5000).size(), 5000u);
  EXPECT_EQ(AllocateBuffer(int64_t{1} << 40).size(), 524288u);
}

}  // namespace
}  // namespace sk
