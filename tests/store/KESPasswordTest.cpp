// Tests of password protection as the store applies it: protected containers and their bytes,
// asking for a password, wrong passwords, removing and adding protection, and the private
// working files of a protected store.
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "store/KES.h"
#include "store/KESCipher.h"
#include "tests/store/StoreTestUtil.h"

namespace sk::test {
namespace {

// Printed by tests/scripts/make_cipher_vectors.py: the check digest and keystream seed of "secret".
constexpr TDigest kSecretCheckDigest = {0x14, 0xe6, 0x55, 0x67, 0xab, 0xdb, 0x51, 0x35, 0xd0, 0xcf,
                                        0xd9, 0xa7, 0x0b, 0x30, 0x32, 0xc1, 0x79, 0xa4, 0x9e, 0xe7};
constexpr uint32_t kSecretSeed = 0x0508c062u;

// Container layout of a protected store: "KES\0", "PWS\0", 20-byte check digest, data length.
constexpr size_t kProtectedDataStart = 4 + 4 + 20 + 4;

int32_t LE32At(const Bytes& bytes, size_t at) {
  return static_cast<int32_t>(uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8 |
                              uint32_t{bytes[at + 2]} << 16 | uint32_t{bytes[at + 3]} << 24);
}

bool IsProtected(const Bytes& container) {
  return container.size() >= 8 && std::memcmp(container.data() + 4, "PWS", 4) == 0;
}

unsigned ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

class KESPasswordTest : public StoreTest {
 protected:
  // Writes a store at name holding the given items, saved with password.
  void Make(const std::string& name, const std::string& password,
            const std::vector<std::pair<std::string, Bytes>>& items) {
    TKES store;
    store.Password = password;
    store.SetFileName(Path(name));
    for (const auto& [key, bytes] : items) {
      TMemoryStream stream(bytes);
      store.AddItem(stream, key);
    }
  }

  std::string ItemText(TKES& store, std::string_view key) {
    EXPECT_TRUE(store.FindKey(key));
    TMemoryStream out;
    store.GetItem(out);
    return TextOf(out);
  }
};

TEST_F(KESPasswordTest, ProtectedStoreReopensWithItsPassword) {
  // "pw142" and "pw229": key digests that start with a zero byte.
  const std::string kPasswords[] = {"secret", "pw142", "pw229", "caf\xe9", std::string(255, 'p')};
  for (const std::string& password : kPasswords) {
    SCOPED_TRACE(password.substr(0, 10));
    const std::string name = "store-" + std::to_string(&password - kPasswords) + ".kes";
    Make(name, password, {{"harbour", BytesOf("boats at dusk")}, {"hill", BytesOf("sheep")}});
    const Bytes container = ReadBytes(Path(name));
    ASSERT_TRUE(IsProtected(container));
    EXPECT_TRUE(std::equal(container.begin() + 8, container.begin() + 28,
                           CheckDigest(KeyDigest(password)).begin()));

    TKES store;
    store.Password = password;
    store.SetFileName(Path(name));
    EXPECT_TRUE(store.WasProtected());
    EXPECT_EQ(store.Count(), 2);
    EXPECT_EQ(ItemText(store, "harbour"), "boats at dusk");
    EXPECT_EQ(ItemText(store, "hill"), "sheep");
    // The bodies are read from the container, never copied; one added is plain in the working
    // data file, at its offset in the data section.
    TMemoryStream gull = StreamOf("gull");
    store.AddItem(gull, "gull");
    Bytes expected(18, 0);
    for (char c : std::string_view("gull")) expected.push_back(static_cast<uint8_t>(c));
    EXPECT_EQ(ReadBytes(store.DataFileName()), expected);
  }
}

TEST_F(KESPasswordTest, OpenAsksForPasswordOnlyWhenNoneIsSet) {
  Make("locked.kes", "secret", {{"k", BytesOf("v")}});
  const Bytes container = ReadBytes(Path("locked.kes"));
  struct Case {
    std::string name;
    std::string preset;
    std::optional<std::string> answer;  // empty: no OnDemandPassword handler
    int asks;
    bool opens;
  };
  const Case kCases[] = {
      {"preset right, handler assigned", "secret", "wrong", 0, true},
      {"asked, right answer", "", "secret", 1, true},
      {"asked, wrong answer", "", "Secret", 1, false},
      {"asked, empty answer", "", "", 1, false},
      {"no handler", "", std::nullopt, 0, false},
      {"preset wrong", "secret!", "secret", 0, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    TKES store;
    store.Password = c.preset;
    int asks = 0;
    if (c.answer) {
      store.OnDemandPassword = [&](TKES&, TPassword& password) {
        EXPECT_EQ(password, "");
        ++asks;
        password = *c.answer;
      };
    }
    if (c.opens) {
      store.SetFileName(Path("locked.kes"));
      EXPECT_EQ(store.Password, "secret");
      EXPECT_EQ(ItemText(store, "k"), "v");
    } else {
      try {
        store.SetFileName(Path("locked.kes"));
        ADD_FAILURE() << "opened";
      } catch (const EKESInvalidPW& error) {
        EXPECT_STREQ(error.what(), "ACCESS DENIED - Gimme a good password now please");
      }
      EXPECT_EQ(store.FileName(), "");
      EXPECT_FALSE(store.Active());
      EXPECT_TRUE(TempFiles().empty());
    }
    EXPECT_EQ(asks, c.asks);
  }
  EXPECT_EQ(ReadBytes(Path("locked.kes")), container);
}

TEST_F(KESPasswordTest, EmptyPasswordRemovesProtectionOnClose) {
  Make("open-up.kes", "secret", {{"k", BytesOf("value")}});
  {
    TKES store;
    store.Password = "secret";
    store.SetFileName(Path("open-up.kes"));
    store.Password = "";
  }
  const Bytes container = ReadBytes(Path("open-up.kes"));
  EXPECT_EQ(container, Container(BytesOf("value"), IndexSection({{"k", 0, 5, 0}})));
  TKES store;
  store.OnDemandPassword = [](TKES&, TPassword&) { ADD_FAILURE() << "asked for a password"; };
  store.SetFileName(Path("open-up.kes"));
  EXPECT_FALSE(store.WasProtected());
  EXPECT_EQ(ItemText(store, "k"), "value");
}

TEST_F(KESPasswordTest, PlainContainerOpensWithoutAskingAndTakesSetPasswordOnSave) {
  WriteBytes(Path("plain.kes"), Container(BytesOf("value"), IndexSection({{"k", 0, 5, 0}})));
  {
    TKES store;
    store.Password = "secret";
    store.OnDemandPassword = [](TKES&, TPassword&) { ADD_FAILURE() << "asked for a password"; };
    store.SetFileName(Path("plain.kes"));
    EXPECT_FALSE(store.WasProtected());
    EXPECT_EQ(ItemText(store, "k"), "value");
  }
  ASSERT_TRUE(IsProtected(ReadBytes(Path("plain.kes"))));
  {
    TKES store;
    EXPECT_THROW(store.SetFileName(Path("plain.kes")), EKESInvalidPW);
  }
  TKES store;
  store.Password = "secret";
  store.SetFileName(Path("plain.kes"));
  EXPECT_EQ(ItemText(store, "k"), "value");
}

TEST_F(KESPasswordTest, SectionsAreEncipheredChunkByChunk) {
  // Sections are enciphered in chunks of 524288 bytes, the keystream restarting at each chunk.
  constexpr size_t kChunk = 524288;
  const TDigest key = KeyDigest("secret");
  for (size_t size : {kChunk, kChunk + 1}) {
    SCOPED_TRACE(size);
    Bytes item(size);
    for (size_t i = 0; i < size; ++i) item[i] = static_cast<uint8_t>(i * 31 + 7);
    const std::string name = "chunks-" + std::to_string(size) + ".kes";
    Make(name, "secret", {{"big", item}});
    const Bytes container = ReadBytes(Path(name));

    ASSERT_TRUE(IsProtected(container));
    EXPECT_TRUE(
        std::equal(container.begin() + 8, container.begin() + 28, kSecretCheckDigest.begin()));
    ASSERT_EQ(LE32At(container, 28), static_cast<int32_t>(size));
    Bytes data(container.begin() + kProtectedDataStart,
               container.begin() + kProtectedDataStart + size);
    Cipher(std::span(data).first(kChunk), key);
    if (size > kChunk) {
      // A one-byte chunk: the first keystream step's low byte.
      const uint32_t state = kSecretSeed * 1664525u + 1013904223u;
      data[kChunk] ^= static_cast<uint8_t>(state);
    }
    EXPECT_TRUE(data == item);

    size_t at = kProtectedDataStart + size;
    ASSERT_EQ(std::memcmp(container.data() + at, "IXS", 4), 0);
    const auto index_length = static_cast<size_t>(LE32At(container, at + 4));
    at += 8;
    ASSERT_EQ(container.size(), at + index_length);
    Bytes index(container.begin() + static_cast<ptrdiff_t>(at), container.end());
    Cipher(index, key);
    EXPECT_EQ(index, IndexSection({{"big", 0, static_cast<int32_t>(size), 0}}));
  }
}

// A container as the cipher's rules make it: each section enciphered in chunks of
// min(max(length, 1024), 524288) bytes, the keystream restarting at every chunk.
Bytes ExpectedContainer(const Bytes& data, const Bytes& index, const std::string& password) {
  if (password.empty()) return Container(data, index);
  const TDigest key = KeyDigest(password);
  Bytes out = BytesOf(std::string_view("KES\0PWS\0", 8));
  const TDigest check = CheckDigest(key);
  out.insert(out.end(), check.begin(), check.end());
  for (const Bytes* section : {&data, &index}) {
    if (section == &index) AppendText(out, std::string_view("IXS\0", 4));
    AppendLE32(out, std::ssize(*section));
    Bytes enciphered = *section;
    const size_t chunk = std::clamp<size_t>(enciphered.size(), 1024, 524288);
    for (size_t at = 0; at < enciphered.size(); at += chunk) {
      Cipher(std::span(enciphered).subspan(at, std::min(chunk, enciphered.size() - at)), key);
    }
    out.insert(out.end(), enciphered.begin(), enciphered.end());
  }
  return out;
}

TEST_F(KESPasswordTest, ReopenedStoreReadsInPlaceAndWritesTheSameContainer) {
  // The bodies of a reopened store are read where the container holds them, deciphered chunk by
  // chunk, and the close writes exactly the container the cipher's rules give for the grown data
  // section: whole chunks that stay the same are copied as they are, the rest enciphered anew.
  struct Case {
    const char* name;
    size_t first, second;
    std::string before, after;
  };
  const Case kCases[] = {
      {"first body spans two chunks", 600000, 100, "secret", "secret"},
      {"section of exactly two chunks", 1048576, 10, "secret", "secret"},
      {"chunk size grows with the section", 100, 600000, "secret", "secret"},
      {"section shorter than the smallest chunk", 10, 20, "secret", "secret"},
      {"new password", 600000, 100, "secret", "other"},
      {"protection removed", 600000, 100, "secret", ""},
      {"protection added", 600000, 100, "", "secret"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::string name = std::string(c.name) + ".kes";
    Bytes first(c.first), second(c.second);
    for (size_t i = 0; i < first.size(); ++i) first[i] = static_cast<uint8_t>(i * 7 + i / 251);
    for (size_t i = 0; i < second.size(); ++i) second[i] = static_cast<uint8_t>(i * 13 + 5);
    Make(name, c.before, {{"first", first}});
    {
      TKES store;
      store.Password = c.before;
      store.SetFileName(Path(name));
      ASSERT_TRUE(store.FindKey("first"));
      TMemoryStream out;
      store.GetItem(out);
      EXPECT_TRUE(Bytes(out.Bytes().begin(), out.Bytes().end()) == first);
      TMemoryStream stream(second);
      store.AddItem(stream, "second");
      store.Password = c.after;
    }
    Bytes data = first;
    data.insert(data.end(), second.begin(), second.end());
    const Bytes index = IndexSection({{"second", static_cast<int32_t>(c.first),
                                       static_cast<int32_t>(c.second), 0},
                                      {"first", 0, static_cast<int32_t>(c.first), 0}});
    EXPECT_TRUE(ReadBytes(Path(name)) == ExpectedContainer(data, index, c.after));
  }
}

TEST_F(KESPasswordTest, WorkingFilesArePrivateAndRemovedOnEveryExit) {
  Make("private.kes", "secret", {{"a", BytesOf("alpha")}, {"b", BytesOf("beta")}});
  const Bytes good = ReadBytes(Path("private.kes"));
  auto open = [&](TKES& store) {
    store.Password = "secret";
    store.SetFileName(Path("private.kes"));
  };
  auto expect_private = [&](const TKES& store) {
    EXPECT_EQ(TempFiles().size(), 2u);
    EXPECT_EQ(ModeOf(store.DataFileName()), 0600u);
    EXPECT_EQ(ModeOf(store.IndexFileName()), 0600u);
  };
  struct Case {
    std::string name;
    std::function<void(TKES&)> run;
  };
  const Case kCases[] = {
      {"close", [&](TKES& store) { store.SetFileName(""); }},
      {"destructor", [](TKES&) {}},
      {"flush, pack, close",
       [&](TKES& store) {
         store.FindKey("a");
         store.Delete();
         store.Flush();
         store.Pack();
         expect_private(store);
         store.SetFileName("");
       }},
      {"kill",
       [&](TKES& store) {
         store.BeforeKill = [](TKES&, bool& ok) { ok = true; };
         store.Kill();
       }},
      {"open that fails after unpacking the data section",
       [&](TKES& store) {
         Bytes damaged = good;
         damaged[kProtectedDataStart + 9] ^= 0xFF;  // inside the index tag
         WriteBytes(Path("damaged.kes"), damaged);
         store.SetFileName("");
         store.Password = "secret";
         EXPECT_THROW(store.SetFileName(Path("damaged.kes")), EKESFileError);
       }},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    WriteBytes(Path("private.kes"), good);
    {
      TKES store;
      open(store);
      expect_private(store);
      c.run(store);
    }
    EXPECT_TRUE(TempFiles().empty());
  }
}

TEST_F(KESPasswordTest, IndexWorkingFileIsNeverAnExistingFile) {
  Make("planted.kes", "secret", {{"a", BytesOf("alpha")}});
  // Just as the data file gets its unique name, a readable file appears under the index name.
  std::string planted;
  const Bytes planted_bytes = BytesOf("someone else's file");
  SetFileFaultHook([&](std::string_view op, const std::string& path) {
    const std::string base = ExtractFileName(path);
    if (op == "create" && planted.empty() && base.rfind("KES", 0) == 0) {
      planted = ExtractFileDir(path) + "/IXS" + base.substr(3);
      WriteBytes(planted, planted_bytes);
      EXPECT_EQ(::chmod(planted.c_str(), 0644), 0);
    }
    return 0;
  });
  struct HookReset {
    ~HookReset() { SetFileFaultHook(nullptr); }
  } reset;

  TKES store;
  store.Password = "secret";
  store.SetFileName(Path("planted.kes"));
  ASSERT_FALSE(planted.empty());
  EXPECT_EQ(ModeOf(store.IndexFileName()), 0600u);
  EXPECT_EQ(ReadBytes(planted), planted_bytes);
  EXPECT_EQ(ItemText(store, "a"), "alpha");
}

TEST_F(KESPasswordTest, AFailingOpenLeavesTheKeptFilesOfTheStoreBeforeIt) {
  Make("locked.kes", "secret", {{"a", BytesOf("alpha")}});
  TKES store;
  store.SetFileName(Path("plain.kes"));
  TMemoryStream stream = StreamOf("unsaved work");
  store.AddItem(stream, "x");
  store.KeepWorkingFiles();
  const std::string data = store.DataFileName(), index = store.IndexFileName();
  store.Password = "wrong";
  EXPECT_THROW(store.SetFileName(Path("locked.kes")), EKESInvalidPW);
  EXPECT_TRUE(FileExists(data));
  EXPECT_TRUE(FileExists(index));
}

}  // namespace
}  // namespace sk::test
