// The container's byte layout as written and read: new containers, unchanged round trips,
// entry order, and damaged containers that must be refused cleanly.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "store/KESCipher.h"
#include "store/OrderMemo.h"
#include "tests/store/StoreTestUtil.h"

namespace sk {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::Container;
using test::IndexSection;
using test::ReadBytes;
using test::WriteBytes;

class KESContainerTest : public test::StoreTest {
 protected:
  TCollator collator_{"en_US"};
};

TEST_F(KESContainerTest, MissingNameCreates21ByteContainerAndCloseWritesIndexCountOnly) {
  const std::string path = Path("new.skd");
  {
    TKES store(&collator_);
    store.SetFileName(path);
    const Bytes created = ReadBytes(path);
    const Bytes expected = Container({}, Bytes{0, 0, 0, 0, 0});
    ASSERT_EQ(created.size(), 21u);
    EXPECT_EQ(created, expected);
    EXPECT_TRUE(store.Active());
    EXPECT_EQ(store.Count(), 0);
  }
  // The index writer writes just the entry count: the trailing zero byte is gone.
  EXPECT_EQ(ReadBytes(path), Container({}, Bytes{0, 0, 0, 0}));
}

TEST_F(KESContainerTest, UnchangedStoreIsRewrittenByteForByteWithSystemEntriesFirstDescending) {
  // Data: bodies of two system entries and three items; index written as a close writes it.
  const Bytes data = test::BytesOf("\x01" "SYS2" "apple" "Banana" "cherry!");
  const Bytes index = IndexSection({
      {"KESZeta", 1, 4, kFlagSystem},
      {"KESCaseSensitive", 0, 1, kFlagSystem},
      {"cherry", 15, 7, 0},
      {"banana", 10, 5, 0},
      {"Apple", 5, 5, 0},
  });
  const Bytes original = Container(data, index);
  WriteBytes(Path("s.skd"), original);
  {
    TKES store(&collator_);
    store.SetFileName(Path("s.skd"));
    ASSERT_EQ(store.Count(), 3);
    EXPECT_TRUE(store.CaseSensitive());
    EXPECT_EQ(store.KeyAt(0), "Apple");
    EXPECT_EQ(store.CurrentKey(), "Apple");
    EXPECT_EQ(store.KeyAt(2), "cherry");
  }
  EXPECT_EQ(ReadBytes(Path("s.skd")), original);
}

TEST_F(KESContainerTest, KeysReadInPlaceAgreeWithTheIndexThroughChangesAndAKeyCutTo255) {
  // An index may hold a key longer than a key can be (written elsewhere): it is kept to 255
  // characters, and the record's integers are still read after the whole key.
  const std::string long_key(300, 'L');
  const Bytes data = test::BytesOf(
      "apple"
      "Banana"
      "cherry!"
      "long!");
  const Bytes index = IndexSection({
      {long_key, 18, 5, 0},
      {"cherry", 11, 7, 0},
      {"banana", 5, 6, 0},
      {"Apple", 0, 5, 0},
  });
  WriteBytes(Path("r.skd"), Container(data, index));
  auto body_of = [](TKES& store, std::string_view key) {
    EXPECT_TRUE(store.FindKey(key)) << key;
    TMemoryStream stream;
    store.GetItem(stream);
    return std::string(stream.Bytes().begin(), stream.Bytes().end());
  };
  {
    TKES store(&collator_);
    store.SetFileName(Path("r.skd"));
    ASSERT_EQ(store.Count(), 4);
    EXPECT_EQ(store.KeyAt(3), long_key.substr(0, 255));
    EXPECT_EQ(store.IndexAt(3).offset, 18);
    EXPECT_EQ(store.IndexAt(3).size, 5);
    EXPECT_EQ(body_of(store, long_key), "long!");
    EXPECT_EQ(body_of(store, "cherry"), "cherry!");
    // Entries read in place and entries with records of their own side by side.
    store.FindKey("banana");
    store.Delete();
    TMemoryStream added{test::BytesOf("added")};
    store.AddItem(added, "Avocado");
    EXPECT_EQ(body_of(store, "Apple"), "apple");
    EXPECT_EQ(body_of(store, "Avocado"), "added");
    EXPECT_EQ(body_of(store, long_key), "long!");
    EXPECT_FALSE(store.FindKey("banana"));
  }
  TKES store(&collator_);
  store.SetFileName(Path("r.skd"));
  ASSERT_EQ(store.Count(), 4);
  EXPECT_EQ(store.KeyAt(3), long_key.substr(0, 255));
  for (const auto& [key, body] : std::vector<std::pair<std::string, std::string>>{
           {"Apple", "apple"}, {"Avocado", "added"}, {long_key, "long!"}, {"cherry", "cherry!"}}) {
    EXPECT_EQ(body_of(store, key), body);
  }
}

TEST_F(KESContainerTest, ExtensionlessNameGetsKesAndAnyExtensionIsKept) {
  TKES store(&collator_);
  store.SetFileName(Path("plain"));
  EXPECT_EQ(store.FileName(), Path("plain.kes"));
  store.SetFileName(Path("other.data"));
  EXPECT_EQ(store.FileName(), Path("other.data"));
  EXPECT_TRUE(FileExists(Path("plain.kes")));
}

struct TDamaged {
  const char* name;
  Bytes bytes;
  const char* message;  // "%s" is the file name
};

TEST_F(KESContainerTest, DamagedContainersAreRefusedWithoutLeftovers) {
  const char* invalid = "The file %s is not a valid Velmora Database file";
  Bytes good_index = IndexSection({{"a", 0, 1, 0}});
  Bytes truncated_record = IndexSection({{"alpha", 0, 1, 0}, {"beta", 1, 1, 0}});
  truncated_record.resize(truncated_record.size() - 6);
  Bytes count_too_big;
  test::AppendLE32(count_too_big, 2);
  test::AppendText(count_too_big, std::string("a\0\0\0\0\0\1\0\0\0\0\0\0\0", 14));
  Bytes negative_count;
  test::AppendLE32(negative_count, -1);

  Bytes data_length_past_end = Container(Bytes{'x'}, good_index);
  data_length_past_end[4] = 200;
  Bytes negative_length = Container(Bytes{'x'}, good_index);
  negative_length[7] = 0x80;
  Bytes index_length_past_end = Container(Bytes{'x'}, good_index);
  index_length_past_end[4 + 4 + 1 + 4] += 1;
  Bytes wrong_index_tag = Container(Bytes{'x'}, good_index);
  wrong_index_tag[9] = 'J';
  Bytes signature_not_terminated = Container({}, Bytes{0, 0, 0, 0});
  signature_not_terminated[3] = 'X';

  const std::vector<TDamaged> cases = {
      {"empty file", {}, invalid},
      {"wrong signature", test::BytesOf("JPEG and more bytes here"), invalid},
      {"signature not terminated", signature_not_terminated, invalid},
      {"data length past end of file", data_length_past_end, invalid},
      {"negative data length", negative_length, invalid},
      {"wrong index tag", wrong_index_tag, invalid},
      {"index length past end of file", index_length_past_end, invalid},
      {"no entry count", Container(Bytes{'x'}, Bytes{}), invalid},
      {"entry count cannot fit index", Container(Bytes{'x'}, count_too_big), invalid},
      {"negative entry count", Container(Bytes{'x'}, negative_count), invalid},
      {"record cut short", Container(Bytes{'x', 'y'}, truncated_record), invalid},
      {"duplicate system key", Container(Bytes{1, 1}, IndexSection({{"K", 0, 1, kFlagSystem},
                                                                     {"k", 1, 1, kFlagSystem}})),
       "Your memory is full... cannot load the index to %s"},
  };
  for (const TDamaged& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Path("damaged.skd");
    WriteBytes(path, c.bytes);
    TKES store(&collator_);
    bool assigned = false;
    store.OnFileAssigned = [&](TKES&) { assigned = true; };
    try {
      store.SetFileName(path);
      ADD_FAILURE() << "opened";
    } catch (const EKESError& e) {
      EXPECT_EQ(e.what(), FormatMessage(c.message, path));
    }
    EXPECT_EQ(store.FileName(), "");
    EXPECT_FALSE(store.Active());
    EXPECT_FALSE(assigned);
    EXPECT_TRUE(TempFiles().empty());
    EXPECT_EQ(ReadBytes(path), c.bytes);  // never rewritten
  }
}

TEST_F(KESContainerTest, EntryCountBeyondTheKeyListIsAnInvalidFile) {
  // 4^13 entries need a key list larger than it can grow; the index section is large enough to
  // hold them (13 bytes each), but all of it past the count is a hole of a sparse file.
  constexpr int64_t kCount = int64_t{1} << 26;  // 4^13
  const int64_t index_length = 4 + kCount * 13;
  Bytes head = test::BytesOf(std::string_view("KES\0\0\0\0\0IXS\0", 12));
  test::AppendLE32(head, index_length);
  test::AppendLE32(head, kCount);
  const std::string path = Path("huge.kes");
  WriteBytes(path, head);
  ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(16 + index_length)), 0);
  TKES store(&collator_);
  try {
    store.SetFileName(path);
    ADD_FAILURE() << "opened";
  } catch (const EKESIndexError& e) {
    EXPECT_EQ(e.what(), FormatMessage(kes_msg::kInvalidFile, path));
  }
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(KESContainerTest, IndexInForeignOrderIsSortedAndEqualKeysAreKept) {
  // Ascending instead of descending (as another collation may leave it), plus two keys that are
  // equal without regard to case, which only a damaged store can hold.
  const Bytes data = test::BytesOf("ABCD");
  const Bytes index = IndexSection(
      {{"alpha", 0, 1, 0}, {"Zulu", 1, 1, 0}, {"mike", 2, 1, 0}, {"MIKE", 3, 1, 0}});
  WriteBytes(Path("f.skd"), Container(data, index));
  TKES store(&collator_);
  store.SetFileName(Path("f.skd"));
  ASSERT_EQ(store.Count(), 4);
  std::vector<std::string> keys;
  for (int i = 0; i < 4; ++i) keys.emplace_back(store.KeyAt(i));
  EXPECT_EQ(keys, (std::vector<std::string>{"alpha", "MIKE", "mike", "Zulu"}));
  for (const char* key : {"alpha", "zulu", "Mike"}) {
    SCOPED_TRACE(key);
    EXPECT_TRUE(store.FindKey(key));
  }
  // Its close writes the index in this order (descending, as a close writes it); the store is
  // written only this once.
  store.SetFileName("");
  EXPECT_EQ(ReadBytes(Path("f.skd")),
            Container(data, IndexSection({{"Zulu", 1, 1, 0},
                                          {"mike", 2, 1, 0},
                                          {"MIKE", 3, 1, 0},
                                          {"alpha", 0, 1, 0}})));
  const struct timespec earlier[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, Path("f.skd").c_str(), earlier, 0), 0);
  store.SetFileName(Path("f.skd"));
  store.SetFileName("");
  EXPECT_EQ(FileTimeStamp(Path("f.skd"))->seconds, 1000000000);
}

// The fingerprint under which the memo of verified orders holds an unprotected container's index
// found in order by collator in the given case mode.
TOrderFingerprint IndexFingerprint(const Bytes& container, const TCollator& collator,
                                   bool case_sensitive = false) {
  // Signature and data length, the data, then the index tag and length.
  const size_t data_length = container[4] | container[5] << 8 | container[6] << 16;
  const size_t index_at = 8 + data_length + 8;
  const Bytes index(container.begin() + static_cast<std::ptrdiff_t>(index_at), container.end());
  return OrderFingerprint(DigestIndex(index), collator.Identity(), case_sensitive);
}

TEST_F(KESContainerTest, OrderCheckedOnceIsRememberedAndSoIsTheOrderACloseWrites) {
  const Bytes data = test::BytesOf("ABC");
  const Bytes in_order =
      Container(data, IndexSection({{"zulu", 2, 1, 0}, {"Mike", 1, 1, 0}, {"alpha", 0, 1, 0}}));
  const Bytes foreign =
      Container(data, IndexSection({{"alpha", 0, 1, 0}, {"zulu", 2, 1, 0}, {"Mike", 1, 1, 0}}));
  const TOrderMemo memo(TOrderMemo::DefaultPath());
  ASSERT_EQ(memo.Path(), CacheDir() + "/stillkeep/verified-orders");

  // An index in order is remembered by the open that checked it, under the case mode applied.
  WriteBytes(Path("in.skd"), in_order);
  TKES store(&collator_);
  store.SetFileName(Path("in.skd"));
  EXPECT_TRUE(memo.Contains(IndexFingerprint(in_order, collator_)));
  EXPECT_FALSE(memo.Contains(IndexFingerprint(in_order, collator_, true)));
  EXPECT_FALSE(memo.Contains(IndexFingerprint(in_order, TCollator("sv_SE"))));
  store.SetFileName("");
  EXPECT_EQ(ReadBytes(Path("in.skd")), in_order);

  // An index out of order is not; the close writes it sorted and remembers what it wrote.
  WriteBytes(Path("f.skd"), foreign);
  store.SetFileName(Path("f.skd"));
  EXPECT_FALSE(memo.Contains(IndexFingerprint(foreign, collator_)));
  store.SetFileName("");
  EXPECT_EQ(ReadBytes(Path("f.skd")), in_order);
  EXPECT_TRUE(memo.Contains(IndexFingerprint(in_order, collator_)));

  // So does the close of a store that changed, whose index the lists write.
  store.SetFileName(Path("f.skd"));
  TMemoryStream body = test::StreamOf("D");
  store.AddItem(body, "echo");
  store.SetFileName("");
  EXPECT_TRUE(memo.Contains(IndexFingerprint(ReadBytes(Path("f.skd")), collator_)));
}

TEST_F(KESContainerTest, RememberedOrderIsTakenWithoutCheckingAndDamagedMemoIsHarmless) {
  const Bytes data = test::BytesOf("ABC");
  const Bytes foreign =
      Container(data, IndexSection({{"alpha", 0, 1, 0}, {"zulu", 2, 1, 0}, {"Mike", 1, 1, 0}}));
  WriteBytes(Path("f.skd"), foreign);
  const TOrderMemo memo(TOrderMemo::DefaultPath());
  auto keys_opened = [&] {
    TKES store(&collator_);
    store.SetReadOnly(true);
    store.SetFileName(Path("f.skd"));
    std::vector<std::string> keys;
    for (int i = 0; i < store.Count(); ++i) keys.emplace_back(store.KeyAt(i));
    return keys;
  };
  const std::vector<std::string> sorted{"alpha", "Mike", "zulu"};

  // A memo that is damaged, or holds the fingerprint under another case mode, changes nothing.
  fs::create_directories(CacheDir() + "/stillkeep");
  WriteBytes(memo.Path(), test::BytesOf("not a memo"));
  EXPECT_EQ(keys_opened(), sorted);
  memo.Remember(IndexFingerprint(foreign, collator_, true));
  EXPECT_EQ(keys_opened(), sorted);

  // The fingerprint of an index is taken as the word that it is in order: this one, which is not,
  // is then kept as read. Only a forged memo can do that.
  memo.Remember(IndexFingerprint(foreign, collator_));
  EXPECT_EQ(keys_opened(), (std::vector<std::string>{"Mike", "zulu", "alpha"}));
}

TEST_F(KESContainerTest, CaseModeComesFromEachStoreAnew) {
  const Bytes sensitive = Container(
      Bytes{1, 'a', 'b'},
      IndexSection({{"KESCaseSensitive", 0, 1, kFlagSystem}, {"a", 2, 1, 0}, {"A", 1, 1, 0}}));
  WriteBytes(Path("cs.skd"), sensitive);
  TKES store(&collator_);
  store.SetFileName(Path("cs.skd"));
  EXPECT_TRUE(store.CaseSensitive());
  EXPECT_EQ(store.Count(), 2);
  store.SetFileName(Path("plain.skd"));
  EXPECT_FALSE(store.CaseSensitive());
  TMemoryStream item = test::StreamOf("x");
  store.AddItem(item, "Key");
  EXPECT_THROW(store.AddItem(item, "KEY"), EKESIndexError);
}

TEST_F(KESContainerTest, ProtectedSectionsAreChunkedAndEnciphered) {
  // 524289 data bytes: one full chunk and a one-byte chunk, each enciphered from the seed.
  const std::string path = Path("p.skd");
  const Bytes body(524289, 0x5A);
  {
    TKES store(&collator_);
    store.SetFileName(path);
    TMemoryStream stream{Bytes(body)};
    store.AddItem(stream, "big");
    store.Password = "secret";
  }
  const Bytes written = ReadBytes(path);
  ASSERT_EQ(std::string(written.begin(), written.begin() + 8), std::string("KES\0PWS\0", 8));
  const TDigest key = KeyDigest("secret");
  const TDigest check = CheckDigest(key);
  EXPECT_TRUE(std::equal(check.begin(), check.end(), written.begin() + 8));
  Bytes data(written.begin() + 32, written.begin() + 32 + 524289);
  Cipher(std::span(data.data(), 524288), key);
  Cipher(std::span(data.data() + 524288, 1), key);
  EXPECT_EQ(data, body);
}

}  // namespace
}  // namespace sk
