// The memo of verified index orders: fingerprints, the file's bounds, and files that are absent,
// damaged or cannot be written, which must only ever mean "check the order again".
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "store/OrderMemo.h"
#include "tests/store/StoreTestUtil.h"

namespace sk {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::ReadBytes;
using test::WriteBytes;

class OrderMemoTest : public test::StoreTest {
 protected:
  std::string MemoPath() const { return Path("memo/verified-orders"); }
  static TOrderFingerprint Print(std::string_view index, bool case_sensitive = false) {
    const Bytes bytes = test::BytesOf(index);
    return OrderFingerprint(DigestIndex(bytes), "icu 72.1; locale en_US as en", case_sensitive);
  }
};

TEST_F(OrderMemoTest, FingerprintNamesIndexCollatorAndCaseMode) {
  const Bytes index = test::BytesOf("index bytes");
  const TIndexDigest digest = DigestIndex(index);
  const TOrderFingerprint base = OrderFingerprint(digest, "collator A", false);
  EXPECT_EQ(base, OrderFingerprint(DigestIndex(test::BytesOf("index bytes")), "collator A", false));
  EXPECT_NE(base, OrderFingerprint(DigestIndex(test::BytesOf("index bytez")), "collator A", false));
  EXPECT_NE(base, OrderFingerprint(digest, "collator B", false));
  EXPECT_NE(base, OrderFingerprint(digest, "collator A", true));
  // The file's digest is the bytes' digest.
  WriteBytes(Path("index"), index);
  EXPECT_EQ(DigestIndexFile(Path("index")), digest);
  EXPECT_EQ(DigestIndexFile(Path("absent")), std::nullopt);
}

TEST_F(OrderMemoTest, RemembersFingerprintsAcrossInstancesAndCreatesItsFolder) {
  const TOrderMemo memo(MemoPath());
  EXPECT_FALSE(memo.Contains(Print("a")));
  memo.Remember(Print("a"));
  memo.Remember(Print("b", true));
  memo.Remember(Print("a"));  // held once
  const TOrderMemo again(MemoPath());
  EXPECT_TRUE(again.Contains(Print("a")));
  EXPECT_TRUE(again.Contains(Print("b", true)));
  EXPECT_FALSE(again.Contains(Print("b", false)));
  EXPECT_FALSE(again.Contains(Print("c")));
  // Header, two fingerprints and the checksum; no temporary file is left beside it.
  EXPECT_EQ(fs::file_size(MemoPath()), 12u + 2 * 16 + 8);
  EXPECT_EQ(std::distance(fs::directory_iterator(Path("memo")), fs::directory_iterator()), 1);
}

TEST_F(OrderMemoTest, HoldsAtMostItsCapacityDroppingTheOldest) {
  const TOrderMemo memo(MemoPath());
  memo.Remember(Print("first"));
  memo.Remember(Print("second"));
  memo.Remember(Print("first"));  // now the newest
  for (size_t i = 0; i < TOrderMemo::kCapacity - 1; ++i) memo.Remember(Print(std::to_string(i)));
  EXPECT_TRUE(memo.Contains(Print("first")));
  EXPECT_FALSE(memo.Contains(Print("second")));
  EXPECT_TRUE(memo.Contains(Print("0")));
  EXPECT_EQ(fs::file_size(MemoPath()), 12 + TOrderMemo::kCapacity * 16 + 8);
  memo.Remember(Print("last"));
  EXPECT_FALSE(memo.Contains(Print("first")));
  EXPECT_TRUE(memo.Contains(Print("last")));
  EXPECT_EQ(fs::file_size(MemoPath()), 12 + TOrderMemo::kCapacity * 16 + 8);
}

TEST_F(OrderMemoTest, DamagedMemoReadsAsEmptyAndIsWrittenAnew) {
  const TOrderMemo memo(MemoPath());
  memo.Remember(Print("a"));
  const Bytes good = ReadBytes(MemoPath());
  auto with = [&good](size_t at, uint8_t value) {
    Bytes bytes = good;
    bytes[at] = value;
    return bytes;
  };
  const struct {
    const char* name;
    Bytes bytes;
  } kCases[] = {
      {"empty", {}},
      {"cut in the checksum", Bytes(good.begin(), good.end() - 1)},
      {"cut in the header", Bytes(good.begin(), good.begin() + 6)},
      {"a byte of the fingerprint changed", with(12, good[12] ^ 1)},
      {"a byte of the checksum changed", with(good.size() - 1, good.back() ^ 0x80)},
      {"another magic", with(0, 'X')},
      {"another version", with(4, 2)},
      {"a count beyond the bytes", with(8, 2)},
      {"a count beyond the capacity", with(11, 1)},
      {"one byte more",
       [&good] {
         Bytes bytes = good;
         bytes.push_back(0);
         return bytes;
       }()},
      {"larger than any memo", Bytes(12 + 16 * TOrderMemo::kCapacity + 9, 0)},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    WriteBytes(MemoPath(), c.bytes);
    EXPECT_FALSE(memo.Contains(Print("a")));
    memo.Remember(Print("b"));
    EXPECT_TRUE(memo.Contains(Print("b")));
    EXPECT_FALSE(memo.Contains(Print("a")));
    EXPECT_EQ(fs::file_size(MemoPath()), 12u + 16 + 8);
  }
}

TEST_F(OrderMemoTest, MemoThatCannotBeReadOrWrittenIsHarmless) {
  // A folder in the memo's place, and a memo below a regular file.
  fs::create_directories(MemoPath());
  WriteBytes(Path("file"), test::BytesOf("x"));
  for (const std::string& path : {MemoPath(), Path("file/verified-orders"), std::string()}) {
    SCOPED_TRACE(path);
    const TOrderMemo memo(path);
    EXPECT_NO_THROW(memo.Remember(Print("a")));
    EXPECT_FALSE(memo.Contains(Print("a")));
  }
  EXPECT_TRUE(fs::is_directory(MemoPath()));
  EXPECT_TRUE(fs::is_empty(MemoPath()));
}

TEST_F(OrderMemoTest, DefaultPathFollowsTheCacheFolderOfTheEnvironment) {
  const char* home = std::getenv("HOME");
  const std::string saved_home = home ? home : "";
  const std::string saved_cache = std::getenv("XDG_CACHE_HOME");
  const struct {
    const char* cache;  // nullptr: unset
    const char* home;
    std::string expected;
  } kCases[] = {
      {"/c", "/h", "/c/stillkeep/verified-orders"},
      {nullptr, "/h", "/h/.cache/stillkeep/verified-orders"},
      {"", "/h", "/h/.cache/stillkeep/verified-orders"},
      {"relative", "/h", "/h/.cache/stillkeep/verified-orders"},
      {nullptr, nullptr, ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.expected);
    if (c.cache) {
      ::setenv("XDG_CACHE_HOME", c.cache, 1);
    } else {
      ::unsetenv("XDG_CACHE_HOME");
    }
    if (c.home) {
      ::setenv("HOME", c.home, 1);
    } else {
      ::unsetenv("HOME");
    }
    EXPECT_EQ(TOrderMemo::DefaultPath(), c.expected);
  }
  if (home) {
    ::setenv("HOME", saved_home.c_str(), 1);
  } else {
    ::unsetenv("HOME");
  }
  ::setenv("XDG_CACHE_HOME", saved_cache.c_str(), 1);
}

}  // namespace
}  // namespace sk
