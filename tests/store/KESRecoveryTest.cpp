// Stale sessions: a process that flushed its work and ended without closing the store (a child
// process that exits at once, as a killed one would). What the next open offers, what recovering
// and discarding do, and that a session is never recovered into another store or without the
// password of a protected one.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "store/KES.h"
#include "tests/store/StoreTestUtil.h"

namespace sk::test {
namespace {

struct TStoreKind {
  const char* name;
  std::string password;
  bool strong;
};
const TStoreKind kKinds[] = {
    {"plain", "", false}, {"legacy", "secret", false}, {"strong", "secret", true}};

class KESRecoveryTest : public StoreTest {
 protected:
  void Open(TKES& store, const std::string& path, const TStoreKind& kind) {
    store.KeyCost = MinimumKeyCost();
    store.Password = kind.password;
    store.SetFileName(path);
    store.SetStrongProtection(kind.strong);
  }

  void MakeStore(const std::string& path, const TStoreKind& kind) {
    TKES store;
    Open(store, path, kind);
    for (const char* key : {"alpha", "beta"}) {
      TMemoryStream stream = StreamOf(std::string("old ") + key);
      store.AddItem(stream, key);
    }
  }

  // In a child process: opens the store, adds "gamma" and flushes (the whole index), deletes
  // "alpha" and flushes (a record of the index log), and ends without closing it.
  void EndWithoutClosing(const std::string& path, const TStoreKind& kind, bool pack = false) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // The store is never destroyed: the process ends at once, as a killed one would.
      TKES store;
      Open(store, path, kind);
      TMemoryStream stream = StreamOf("new gamma");
      store.AddItem(stream, "gamma");
      store.Flush();
      store.FindKey("alpha");
      store.Delete();
      if (pack) store.Pack();  // every body moves into the session's own data file
      store.Flush();
      ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }

  static std::vector<std::string> Keys(TKES& store) {
    std::vector<std::string> keys;
    for (int i = 0; i < store.Count(); ++i) keys.emplace_back(store.KeyAt(i));
    return keys;
  }
  static std::string Text(TKES& store, const std::string& key) {
    if (!store.FindKey(key)) return "<missing>";
    TMemoryStream out;
    store.GetItem(out);
    return TextOf(out);
  }
};

TEST_F(KESRecoveryTest, TheNextOpenOffersTheFlushedWorkAndRecoversOrDiscardsIt) {
  for (const TStoreKind& kind : kKinds) {
    for (const TStaleChoice choice :
         {TStaleChoice::kRecover, TStaleChoice::kDiscard, TStaleChoice::kLeave}) {
      SCOPED_TRACE(std::string(kind.name) + " " + std::to_string(static_cast<int>(choice)));
      const std::string path = Path("s.skd");
      DeleteFile(path);
      MakeStore(path, kind);
      const Bytes before = ReadBytes(path);
      EndWithoutClosing(path, kind);
      EXPECT_EQ(ReadBytes(path), before);

      std::vector<TStaleSessionInfo> offered;
      {
        TKES store;
        store.Password = kind.password;
        store.OnStaleSession = [&](TKES&, const TStaleSessionInfo& session) {
          offered.push_back(session);
          return choice;
        };
        store.SetFileName(path);
        ASSERT_EQ(offered.size(), 1u);
        EXPECT_EQ(offered[0].added, 1);
        EXPECT_EQ(offered[0].deleted, 1);
        EXPECT_NEAR(static_cast<double>(offered[0].opened), static_cast<double>(std::time(nullptr)),
                    60);
        if (choice == TStaleChoice::kRecover) {
          EXPECT_EQ(store.RecoveredNames(), std::vector<std::string>{path});
          EXPECT_EQ(Keys(store), (std::vector<std::string>{"beta", "gamma"}));
          EXPECT_EQ(Text(store, "gamma"), "new gamma");
          EXPECT_EQ(Text(store, "beta"), "old beta");
          EXPECT_EQ(store.Protection(), kind.password.empty() ? TProtection::kNone
                                        : kind.strong         ? TProtection::kStrong
                                                              : TProtection::kLegacy);
        } else {
          EXPECT_TRUE(store.RecoveredNames().empty());
          EXPECT_EQ(Keys(store), (std::vector<std::string>{"alpha", "beta"}));
        }
      }
      if (choice != TStaleChoice::kRecover) {
        EXPECT_EQ(ReadBytes(path), before);
      }
      // A session left is offered again; recovered or discarded, it is gone.
      EXPECT_EQ(TempFiles().empty(), choice != TStaleChoice::kLeave);
      if (choice == TStaleChoice::kLeave) {
        TKES again;
        again.Password = kind.password;
        again.SetFileName(path);  // unanswered: discarded
        EXPECT_EQ(Keys(again), (std::vector<std::string>{"alpha", "beta"}));
      }
      EXPECT_TRUE(TempFiles().empty());
    }
  }
}

TEST_F(KESRecoveryTest, ASessionThatPackedIsRecoveredFromItsOwnBodies) {
  for (const TStoreKind& kind : kKinds) {
    SCOPED_TRACE(kind.name);
    const std::string path = Path(std::string(kind.name) + ".skd");
    MakeStore(path, kind);
    EndWithoutClosing(path, kind, true);
    TKES store;
    store.Password = kind.password;
    store.OnStaleSession = [](TKES&, const TStaleSessionInfo&) { return TStaleChoice::kRecover; };
    store.SetFileName(path);
    EXPECT_EQ(store.RecoveredNames(), std::vector<std::string>{path});
    EXPECT_EQ(Keys(store), (std::vector<std::string>{"beta", "gamma"}));
    EXPECT_EQ(Text(store, "beta"), "old beta");
    EXPECT_EQ(Text(store, "gamma"), "new gamma");
  }
}

TEST_F(KESRecoveryTest, AProtectedSessionIsRecoveredOnlyWithThePasswordAndHoldsNothingPlain) {
  for (const TStoreKind& kind : {kKinds[1], kKinds[2]}) {
    SCOPED_TRACE(kind.name);
    const std::string path = Path(std::string(kind.name) + ".skd");
    MakeStore(path, kind);
    EndWithoutClosing(path, kind);
    if (kind.strong) {
      // Nothing of the new picture or of any key is plain in the session's files.
      for (const std::string& file : TempFiles()) {
        const Bytes bytes = ReadBytes(Path("tmp/" + file));
        for (const char* text : {"new gamma", "gamma", "beta", "alpha"}) {
          const std::string_view needle(text);
          EXPECT_EQ(std::search(bytes.begin(), bytes.end(), needle.begin(), needle.end()),
                    bytes.end())
              << file << " holds " << text;
        }
      }
    }
    int offered = 0;
    TKES wrong;
    wrong.Password = "not it";
    wrong.OnStaleSession = [&](TKES&, const TStaleSessionInfo&) {
      ++offered;
      return TStaleChoice::kRecover;
    };
    EXPECT_THROW(wrong.SetFileName(path), EKESInvalidPW);
    EXPECT_EQ(offered, 0);
    EXPECT_FALSE(TempFiles().empty());  // still there for the right password

    TKES right;
    right.Password = kind.password;
    right.OnStaleSession = [&](TKES&, const TStaleSessionInfo&) {
      ++offered;
      return TStaleChoice::kRecover;
    };
    right.SetFileName(path);
    EXPECT_EQ(offered, 1);
    EXPECT_EQ(Keys(right), (std::vector<std::string>{"beta", "gamma"}));
  }
}

TEST_F(KESRecoveryTest, ASessionIsNeverRecoveredIntoAnotherStore) {
  const TStoreKind& plain = kKinds[0];
  const std::string path = Path("mine.skd"), other = Path("other.skd");
  MakeStore(path, plain);
  MakeStore(other, plain);
  EndWithoutClosing(path, plain);
  // Another store's open does not see the session.
  int offered = 0;
  auto count = [&](TKES&, const TStaleSessionInfo&) {
    ++offered;
    return TStaleChoice::kRecover;
  };
  {
    TKES store;
    store.OnStaleSession = count;
    store.SetFileName(other);
  }
  EXPECT_EQ(offered, 0);
  EXPECT_FALSE(TempFiles().empty());

  // Another store put in the session's store's place: the session's work is recovered from the
  // container it opened (kept by the session) into a copy beside it; the store there is left as
  // it is.
  RenameFile(other, path);
  const Bytes theirs = ReadBytes(path);
  {
    TKES store;
    store.OnStaleSession = count;
    store.SetFileName(path);
    EXPECT_EQ(offered, 1);
    EXPECT_EQ(store.RecoveredNames(), std::vector<std::string>{Path("1.mine.skd")});
    EXPECT_EQ(Keys(store), (std::vector<std::string>{"alpha", "beta"}));
  }
  EXPECT_EQ(ReadBytes(path), theirs);
  EXPECT_TRUE(TempFiles().empty());
  TKES copy;
  copy.SetFileName(Path("1.mine.skd"));
  EXPECT_EQ(Keys(copy), (std::vector<std::string>{"beta", "gamma"}));
  EXPECT_EQ(Text(copy, "beta"), "old beta");
}

}  // namespace
}  // namespace sk::test
