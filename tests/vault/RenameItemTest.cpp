// Renaming a stored item: the exact bytes move to the new name, and a crash or a failing disk at
// any point leaves the picture under its old name, its new name, or both, never under neither.
#include <cerrno>

#include "tests/store/FaultMatrix.h"
#include "vault/RenameItem.h"

namespace sk::test {
namespace {

TStep RenameStep(const std::string& old_key, const std::string& key) {
  return {"rename " + old_key + " to " + key,
          [old_key, key](TKES& store) {
            if (!store.FindKey(old_key)) throw std::logic_error("no key " + old_key);
            TMemoryStream item;
            store.GetItem(item);
            RenameItem(store, item, old_key, key);
          },
          [old_key, key](TStoreModel& model) {
            Bytes body = model.items[old_key];
            model.items.erase(old_key);
            model.items[key] = std::move(body);
          },
          // Half-way, the picture may be under its old key, its new key or the temporary one,
          // or under several of them; every other item is untouched.
          [old_key, key](const TStoreModel& before, const TStoreModel& found) {
            const Bytes& body = before.items.at(old_key);
            TStoreModel others = found;
            int holders = 0;
            for (const std::string& k : {old_key, key, old_key + " (renaming)"}) {
              const auto it = others.items.find(k);
              if (it == others.items.end()) continue;
              if (it->second != body) return false;
              ++holders;
              others.items.erase(it);
            }
            TStoreModel rest = before;
            rest.items.erase(old_key);
            return holders > 0 && others == rest;
          }};
}

TStoreModel Pictures() {
  return {{{"holiday", Bytes(700, 'h')}, {"sunset", Bytes(300, 's')}}, ""};
}

const TScenario kRename{"rename, close", Pictures(), false, {RenameStep("holiday", "beach")}};
const TScenario kRenameCase{
    "rename in another case, close", Pictures(), false, {RenameStep("holiday", "HOLIDAY")}};

TEST_F(FaultMatrixTest, CrashDuringRename) {
  RunCrashMatrix(kRename);
}
TEST_F(FaultMatrixTest, CrashDuringCaseRename) {
  RunCrashMatrix(kRenameCase);
}
TEST_F(FaultMatrixTest, ErrorsDuringRename) {
  RunErrorMatrix(kRename);
}
TEST_F(FaultMatrixTest, ErrorsDuringCaseRename) {
  RunErrorMatrix(kRenameCase);
}

class RenameItemTest : public StoreTest {};

TEST_F(RenameItemTest, MovesTheExactBytesAndReportsEachStep) {
  TKES store;
  store.SetFileName(Path("s.kes"));
  TMemoryStream body(Bytes{1, 2, 3, 0, 255});
  store.AddItem(body, "old");
  std::vector<std::string> seen;
  const TRenameEvents events{[&](const std::string& key) { seen.push_back("added " + key); },
                             [&](int row, const std::string& key) {
                               seen.push_back("removed " + key + " at " + std::to_string(row));
                             }};
  TMemoryStream item(Bytes{1, 2, 3, 0, 255});
  RenameItem(store, item, "old", "new", events);
  EXPECT_EQ(seen, (std::vector<std::string>{"added new", "removed old at 1"}));
  ASSERT_TRUE(store.FindKey("new"));
  EXPECT_FALSE(store.FindKey("old"));
  TMemoryStream out;
  store.FindKey("new");
  store.GetItem(out);
  EXPECT_EQ(Bytes(out.Bytes().begin(), out.Bytes().end()), (Bytes{1, 2, 3, 0, 255}));
}

TEST_F(RenameItemTest, ARefusedNewNameLeavesTheOldOne) {
  TKES store;
  store.SetFileName(Path("s.kes"));
  TMemoryStream body(Bytes(10, 7));
  store.AddItem(body, "old");
  TMemoryStream item(Bytes(10, 7));
  try {
    RenameItem(store, item, "old", std::string("bad\0key", 7));
    ADD_FAILURE() << "a key holding a zero byte was taken";
  } catch (const ERenameFailed& failure) {
    EXPECT_EQ(failure.KeptAs(), "old");
  }
  EXPECT_TRUE(store.FindKey("old"));
  EXPECT_EQ(store.Count(), 1);
}

}  // namespace
}  // namespace sk::test
