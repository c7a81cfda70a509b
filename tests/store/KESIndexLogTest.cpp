// The index log: Flushes after the first append the changes they make durable to a log instead
// of writing the whole index again. What a recovery and a close without saving make of it, and
// that a torn or damaged record ends the log where it starts.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/Files.h"
#include "store/IndexLog.h"
#include "store/KES.h"
#include "tests/store/StoreTestUtil.h"

namespace sk::test {
namespace {

class KESIndexLogTest : public StoreTest {
 protected:
  static std::vector<std::string> Keys(TKES& store) {
    std::vector<std::string> keys;
    for (int i = 0; i < store.Count(); ++i) keys.emplace_back(store.KeyAt(i));
    return keys;
  }

  static void Add(TKES& store, const std::string& key) {
    TMemoryStream stream = StreamOf("body of " + key);
    store.AddItem(stream, key);
  }

  // In a child process that ends without closing: adds each key and flushes after each.
  void FlushEachAndEnd(const std::string& path, const std::vector<std::string>& keys) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      TKES store;
      store.SetFileName(path);
      for (const std::string& key : keys) {
        Add(store, key);
        store.Flush();
      }
      ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }

  std::string TempFile(std::string_view prefix) const {
    for (const std::string& name : TempFiles()) {
      if (name.starts_with(prefix)) return Path("tmp/" + name);
    }
    return {};
  }
};

TEST_F(KESIndexLogTest, ATornOrDamagedRecordEndsTheLogAndRecoveryKeepsWhatCameBefore) {
  enum class Harm { kNone, kCutLastRecord, kDamageFirstRecord };
  struct Case {
    const char* name;
    Harm harm;
    std::vector<std::string> recovered;
  };
  const Case cases[] = {
      {"whole log", Harm::kNone, {"base", "g1", "g2", "g3"}},
      {"last record cut short", Harm::kCutLastRecord, {"base", "g1", "g2"}},
      {"first record damaged", Harm::kDamageFirstRecord, {"base", "g1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Path("log.skd");
    DeleteFile(path);
    {
      TKES store;
      store.SetFileName(path);
      Add(store, "base");
    }
    // The first Flush writes the whole index (with g1); g2 and g3 are the log's two records.
    FlushEachAndEnd(path, {"g1", "g2", "g3"});
    const std::string log = TempFile(kIndexLogPrefix);
    ASSERT_FALSE(log.empty());
    Bytes bytes = ReadBytes(log);
    const size_t header = 20;
    ASSERT_GT(bytes.size(), header + 4);
    if (c.harm == Harm::kCutLastRecord) bytes.resize(bytes.size() - 3);
    // A damaged record hides the sound one after it: the log ends where it starts.
    if (c.harm == Harm::kDamageFirstRecord) bytes[header + 4] ^= 0x20;
    WriteFileAtomically(log, bytes);

    TKES store;
    store.OnStaleSession = [](TKES&, const TStaleSessionInfo&) { return TStaleChoice::kRecover; };
    store.SetFileName(path);
    EXPECT_EQ(Keys(store), c.recovered);
    ASSERT_TRUE(store.FindKey(c.recovered.back()));
    TMemoryStream out;
    store.GetItem(out);
    EXPECT_EQ(TextOf(out), "body of " + c.recovered.back());
  }
}

TEST_F(KESIndexLogTest, ACloseWithoutSavingWritesTheIndexAsTheLastFlushLeftIt) {
  const std::string path = Path("nosave.skd");
  {
    TKES store;
    store.SetFileName(path);
    for (const char* key : {"a", "b"}) {
      Add(store, key);
      store.Flush();  // a: the whole index; b: a record of the log
    }
    Add(store, "c");  // never flushed
    store.SetSaveOnClose(false);
  }
  TKES store;
  store.SetFileName(path);
  EXPECT_EQ(Keys(store), (std::vector<std::string>{"a", "b"}));
  ASSERT_TRUE(store.FindKey("b"));
  TMemoryStream out;
  store.GetItem(out);
  EXPECT_EQ(TextOf(out), "body of b");
}

TEST_F(KESIndexLogTest, AFlushToTheLogReportsTheProgressOfAWholeIndex) {
  std::vector<std::pair<int, TProgressOrigin>> events;  // outlives the store, whose close reports
  TKES store;
  store.SetFileName(Path("progress.skd"));
  for (int i = 0; i < 25; ++i) Add(store, "key " + std::to_string(i));
  store.ProgressUpdate = [&](TKES&, TPercentage percent, TProgressOrigin origin) {
    events.emplace_back(percent, origin);
  };
  store.Flush();  // the whole index
  const auto whole = std::exchange(events, {});
  ASSERT_TRUE(store.FindKey("key 3"));
  store.Delete();
  Add(store, "key 25");
  store.Flush();  // a record of the log, with as many keys
  EXPECT_GT(whole.size(), 2u);
  EXPECT_EQ(events, whole);
}

TEST(IndexLogTest, ALogAppliesOnlyToTheIndexFileItNames) {
  const Bytes index = {1, 2, 3, 4, 5};
  const std::vector<TIndexChange> changes = {{true, "new", {8, 9, 2, 0}}, {false, "old", {}}};
  Bytes log = IndexLogHeader(index);
  const Bytes record = IndexLogRecord(EncodeIndexChanges(changes));
  log.insert(log.end(), record.begin(), record.end());

  const auto payloads = IndexLogPayloads(log, index);
  ASSERT_EQ(payloads.size(), 1u);
  std::vector<TIndexChange> decoded;
  ASSERT_TRUE(DecodeIndexChanges(payloads[0], decoded));
  ASSERT_EQ(decoded.size(), 2u);
  EXPECT_TRUE(decoded[0].added);
  EXPECT_EQ(decoded[0].key, "new");
  EXPECT_EQ(decoded[0].index.offset, 8);
  EXPECT_EQ(decoded[0].index.size, 9);
  EXPECT_EQ(decoded[0].index.flags, 2u);
  EXPECT_FALSE(decoded[1].added);
  EXPECT_EQ(decoded[1].key, "old");

  // The index file was written again since (same length, other bytes), or is another one.
  for (const Bytes& other : {Bytes{1, 2, 3, 4, 6}, Bytes{1, 2, 3, 4}, Bytes{}}) {
    EXPECT_TRUE(IndexLogPayloads(log, other).empty());
  }
}

}  // namespace
}  // namespace sk::test
