// Strongly protected stores: every change of kind keeps every key and byte, a damaged container
// fails cleanly (a damaged body only its own item), a wrong password unpacks nothing, and while
// such a store is open nothing of its pictures or keys is plain on disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <unordered_set>

#include "store/KES.h"
#include "tests/store/StoreTestUtil.h"

namespace sk::test {
namespace {

namespace fs = std::filesystem;

using TItems = std::map<std::string, Bytes>;

Bytes RandomBytes(std::mt19937& random, size_t size) {
  Bytes bytes(size);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

class KESStrongTest : public StoreTest {
 protected:
  // A store opened with password (strong or not as the container says), at the lowest key cost.
  void OpenStore(TKES& store, const std::string& password) {
    store.KeyCost = MinimumKeyCost();
    store.Password = password;
    store.SetFileName(Path("vault.kes"));
  }
  TItems Contents(TKES& store) {
    TItems items;
    for (int i = 0; i < store.Count(); ++i) {
      const std::string key(store.KeyAt(i));
      store.FindKey(key);
      TMemoryStream stream;
      store.GetItem(stream);
      items[key] = Bytes(stream.Bytes().begin(), stream.Bytes().end());
      EXPECT_EQ(store.ItemSize(), static_cast<int64_t>(items[key].size())) << key;
    }
    return items;
  }
  // A strongly protected store holding items.
  void CreateStrong(const TItems& items, const std::string& password) {
    TKES store;
    OpenStore(store, "");
    AddAll(store, items);
    store.Password = password;
    store.SetStrongProtection(true);
  }
  void AddAll(TKES& store, const TItems& items) {
    bool compress = false;
    for (const auto& [key, body] : items) {
      store.SetCompression(compress = !compress);  // plain and compressed bodies alike
      TMemoryStream stream(body);
      store.AddItem(stream, key);
    }
  }
  // Every 16-byte run of every body and key, and whether a file holds any of them.
  static std::unordered_set<std::string> Runs(const TItems& items) {
    std::unordered_set<std::string> runs;
    auto add = [&](std::string_view bytes) {
      for (size_t i = 0; i + 16 <= bytes.size(); ++i) runs.insert(std::string(bytes.substr(i, 16)));
    };
    for (const auto& [key, body] : items) {
      add(key);
      add(std::string_view(reinterpret_cast<const char*>(body.data()), body.size()));
    }
    return runs;
  }
  std::vector<std::string> FilesHoldingRuns(const std::unordered_set<std::string>& runs) {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(Dir())) {
      if (!entry.is_regular_file()) continue;
      const Bytes bytes = ReadBytes(entry.path().string());
      const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
      for (size_t i = 0; i + 16 <= text.size(); ++i) {
        if (runs.contains(std::string(text.substr(i, 16)))) {
          found.push_back(entry.path().string() + " at " + std::to_string(i));
          break;
        }
      }
    }
    return found;
  }
};

TEST_F(KESStrongTest, EveryChangeOfKindKeepsEveryKeyAndByte) {
  for (const int count : {0, 1000}) {
    SCOPED_TRACE(std::to_string(count) + " items");
    fs::remove(Path("vault.kes"));
    std::mt19937 random(count);
    TItems items;
    for (int i = 0; i < count; ++i) {
      // Windows-1252 keys: "clé €‰ n°" and a number.
      const std::string key = "cl\xE9 \x80\x89 n\xB0" + std::to_string(i);
      items[key] = i % 3 == 0 ? Bytes(50 + i, static_cast<uint8_t>(i))
                              : RandomBytes(random, 20 + static_cast<size_t>(i % 400));
    }
    {
      TKES store;
      OpenStore(store, "");
      AddAll(store, items);
    }
    struct TStage {
      std::string password;
      bool strong;
      TProtection expected;
    };
    const TStage stages[] = {{"first secret", true, TProtection::kStrong},
                             {"second s\xE9"
                              "cret",
                              true, TProtection::kStrong},
                             {"legacy", false, TProtection::kLegacy},
                             {"", false, TProtection::kNone}};
    std::string password;
    for (const TStage& stage : stages) {
      SCOPED_TRACE("to '" + stage.password + "'");
      {
        TKES store;
        OpenStore(store, password);
        store.Password = stage.password;
        store.SetStrongProtection(stage.strong);
      }
      password = stage.password;
      TKES store;
      OpenStore(store, password);
      EXPECT_EQ(store.Protection(), stage.expected);
      EXPECT_EQ(Contents(store), items);
    }
    EXPECT_TRUE(TempFiles().empty());
  }
}

TEST_F(KESStrongTest, AStoreKeepsItsKindWhenItsPasswordChanges) {
  CreateStrong({{"a", Bytes(100, 1)}}, "one");
  {
    TKES store;
    OpenStore(store, "one");
    EXPECT_TRUE(store.StrongProtection());
    store.Password = "two";
  }
  TKES store;
  OpenStore(store, "two");
  EXPECT_EQ(store.Protection(), TProtection::kStrong);
  EXPECT_EQ(ReadBytes(Path("vault.kes"))[0], 'S');
}

TEST_F(KESStrongTest, AWrongPasswordUnpacksNothing) {
  CreateStrong({{"item", Bytes(300, 7)}}, "right");
  const Bytes before = ReadBytes(Path("vault.kes"));
  TKES store;
  EXPECT_THROW(OpenStore(store, "wrong"), EKESInvalidPW);
  EXPECT_EQ(store.FileName(), "");
  EXPECT_TRUE(TempFiles().empty());
  EXPECT_EQ(ReadBytes(Path("vault.kes")), before);
  // Without a password the store asks for one, as for the legacy kind.
  int asked = 0;
  store.OnDemandPassword = [&](TKES&, TPassword& answer) {
    ++asked;
    answer = "right";
  };
  OpenStore(store, "");
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(store.Count(), 1);
}

TEST_F(KESStrongTest, EveryDamagedByteFailsTheOpenOrExactlyItsOwnItem) {
  const TItems items{{"first picture", Bytes(200, 'x')}, {"second", Bytes(120, 'y')}};
  CreateStrong(items, "pw");
  const Bytes good = ReadBytes(Path("vault.kes"));
  int opened = 0;
  for (size_t at = 0; at < good.size(); ++at) {
    SCOPED_TRACE("byte " + std::to_string(at));
    Bytes bad = good;
    bad[at] ^= 0x5A;
    WriteBytes(Path("vault.kes"), bad);
    TKES store;
    try {
      OpenStore(store, "pw");
    } catch (const EKESError&) {
      EXPECT_EQ(store.FileName(), "");
      EXPECT_TRUE(TempFiles().empty());
      EXPECT_EQ(ReadBytes(Path("vault.kes")), bad);
      continue;
    }
    ++opened;
    int failed = 0;
    for (const auto& [key, body] : items) {
      ASSERT_TRUE(store.FindKey(key));
      TMemoryStream stream;
      try {
        store.GetItem(stream);
        EXPECT_EQ(Bytes(stream.Bytes().begin(), stream.Bytes().end()), body) << key;
      } catch (const EKESError&) {
        ++failed;
        EXPECT_EQ(stream.Size(), 0u);
      }
    }
    EXPECT_EQ(failed, 1) << "a damaged body fails its own item, and only that";
    store.SetReadOnly(true);
  }
  // The bodies themselves: every byte of them opened the store.
  EXPECT_GT(opened, 40);
}

TEST_F(KESStrongTest, NothingOfItsPicturesOrKeysIsPlainOnDiskWhileOpen) {
  std::mt19937 random(7);
  TItems stored, added;
  for (int i = 0; i < 6; ++i) {
    stored["a picture named " + std::to_string(i) + " in the vault"] = RandomBytes(random, 3000);
    added["another picture called " + std::to_string(i)] =
        Bytes(5000, static_cast<uint8_t>('a' + i));  // compressible, and compressed
  }
  CreateStrong(stored, "pw");
  TItems all = stored;
  all.insert(added.begin(), added.end());
  const auto runs = Runs(all);
  TKES store;
  OpenStore(store, "pw");
  AddAll(store, added);
  store.Flush();
  EXPECT_EQ(Contents(store), all);  // the cache holds them in memory now
  store.FindKey(stored.begin()->first);
  store.Delete();
  store.Pack();
  store.Flush();
  EXPECT_EQ(FilesHoldingRuns(runs), std::vector<std::string>{});
}

}  // namespace
}  // namespace sk::test
