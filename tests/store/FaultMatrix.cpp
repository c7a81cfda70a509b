// The crash and I/O-error matrices over the fault-injecting file layer.
#include "tests/store/FaultMatrix.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "tests/support/FaultyFileSystem.h"

namespace sk::test {

namespace fs = std::filesystem;

TStep AddStep(const std::string& key, const Bytes& body) {
  return {"add " + key,
          [key, body](TKES& store) {
            TMemoryStream stream(body);
            store.AddItem(stream, key);
          },
          [key, body](TStoreModel& model) { model.items[key] = body; }};
}

TStep DeleteStep(const std::string& key) {
  return {"delete " + key,
          [key](TKES& store) {
            if (!store.FindKey(key)) throw std::logic_error("no key " + key);
            store.Delete();
          },
          [key](TStoreModel& model) { model.items.erase(key); }};
}

TStep FlushStep() {
  return {"flush", [](TKES& store) { store.Flush(); }, [](TStoreModel&) {}};
}

TStep PackStep() {
  return {"pack", [](TKES& store) { store.Pack(); }, [](TStoreModel&) {}};
}

TStep PasswordStep(const std::string& password) {
  return {"password", [password](TKES& store) { store.Password = password; },
          [password](TStoreModel& model) {
            model.password = password;
            if (password.empty()) model.strong = false;
          }};
}

TStep StrongPasswordStep(const std::string& password, bool strong) {
  return {strong ? "strong password" : "legacy password",
          [password, strong](TKES& store) {
            store.Password = password;
            store.SetStrongProtection(strong);
          },
          [password, strong](TStoreModel& model) {
            model.password = password;
            model.strong = strong && !password.empty();
          }};
}

void FaultMatrixTest::WriteBefore(const TScenario& scenario) {
  before_bytes_.clear();
  if (scenario.before.items.empty() && scenario.before.password.empty()) return;
  {
    TKES store;
    store.KeyCost = MinimumKeyCost();
    store.Password = scenario.before.password;
    store.SetCompression(scenario.compression);
    store.SetFileName(StorePath());
    store.SetStrongProtection(scenario.before.strong);
    for (const auto& [key, body] : scenario.before.items) {
      TMemoryStream stream(body);
      store.AddItem(stream, key);
    }
    store.SetFileName("");
  }
  before_bytes_ = ReadBytes(StorePath());
}

void FaultMatrixTest::RunScenario(const TScenario& scenario, TKES& store) {
  // Whatever a run left, the next one starts from the same container and empty folders.
  store.KeyCost = MinimumKeyCost();
  store.Password = scenario.before.password;
  store.SetCompression(scenario.compression);
  store.SetFileName(StorePath());
  for (const TStep& step : scenario.steps) step.run(store);
  store.SetFileName("");
}

std::vector<TStoreModel> FaultMatrixTest::States(const TScenario& scenario) const {
  std::vector<TStoreModel> states{scenario.before};
  for (const TStep& step : scenario.steps) {
    states.push_back(states.back());
    step.expect(states.back());
  }
  return states;
}

std::optional<TStoreModel> FaultMatrixTest::Contents(const std::string& password) {
  TKES store;
  store.SetReadOnly(true);
  store.Password = password;
  try {
    store.SetFileName(StorePath());
  } catch (const EKESError&) {
    return std::nullopt;
  }
  TStoreModel model;
  model.password = store.WasProtected() ? password : "";
  model.strong = store.Protection() == TProtection::kStrong;
  for (int i = 0; i < store.Count(); ++i) {
    const std::string key(store.KeyAt(i));
    store.FindKey(key);
    TMemoryStream stream;
    store.GetItem(stream);
    model.items[key] = Bytes(stream.Bytes().begin(), stream.Bytes().end());
  }
  store.SetFileName("");
  return model;
}

bool FaultMatrixTest::HoldsPassedState(const TScenario& scenario,
                                       const std::vector<TStoreModel>& states) {
  for (const TStoreModel& state : states) {
    if (HoldsModel(state)) return true;
  }
  for (size_t i = 0; i < scenario.steps.size(); ++i) {
    if (!scenario.steps[i].accepts) continue;
    const std::optional<TStoreModel> found = Contents(states[i].password);
    if (found && scenario.steps[i].accepts(states[i], *found)) return true;
  }
  return false;
}

bool FaultMatrixTest::HoldsModel(const TStoreModel& model) {
  const std::optional<TStoreModel> found = Contents(model.password);
  return found && *found == model;
}

std::vector<std::string> FaultMatrixTest::StrayFiles() const {
  std::vector<std::string> stray;
  for (const std::string& folder : {Dir(), Path("tmp")}) {
    for (const auto& entry : fs::directory_iterator(folder)) {
      if (entry.is_regular_file() && entry.path() != StorePath()) {
        stray.push_back(entry.path().string());
      }
    }
  }
  return stray;
}

int FaultMatrixTest::CountOperations(const TScenario& scenario) {
  WriteBefore(scenario);
  int operations = 0;
  {
    TFaultyFileSystem faults({Dir(), Path("tmp")});
    TKES store;
    RunScenario(scenario, store);
    operations = faults.Operations();
  }
  EXPECT_TRUE(HoldsModel(States(scenario).back())) << scenario.name << ": the scenario itself";
  return operations;
}

namespace {

void RestoreBefore(const std::string& store_path, const Bytes& before,
                   const std::vector<std::string>& folders) {
  for (const std::string& folder : folders) {
    for (const auto& entry : fs::directory_iterator(folder)) {
      if (entry.is_regular_file()) fs::remove(entry.path());
    }
  }
  if (!before.empty()) WriteBytes(store_path, before);
}

std::string Trace(const TFaultyFileSystem& faults) {
  std::string text;
  for (const std::string& line : faults.Log()) text += "\n  " + line;
  return text;
}

}  // namespace

void FaultMatrixTest::RunCrashMatrix(const TScenario& scenario) {
  const int total = CountOperations(scenario);
  const std::vector<TStoreModel> states = States(scenario);
  const std::vector<std::string> folders{Dir(), Path("tmp")};
  int recoveries = 0;
  for (int n = 1; n <= total; ++n) {
    for (const auto& [names, recover] : {std::pair{TFaultyFileSystem::TNames::kKept, false},
                                         std::pair{TFaultyFileSystem::TNames::kLastSynced, false},
                                         std::pair{TFaultyFileSystem::TNames::kKept, true},
                                         std::pair{TFaultyFileSystem::TNames::kLastSynced, true}}) {
      RestoreBefore(StorePath(), before_bytes_, folders);
      std::string trace;
      {
        TFaultyFileSystem faults(folders);
        faults.CrashAt(n);
        {
          TKES store;
          try {
            RunScenario(scenario, store);
          } catch (const std::exception&) {
            // The process is gone: whatever it was doing stops here.
          }
        }
        ASSERT_TRUE(faults.Crashed()) << scenario.name << " crash at " << n;
        trace = Trace(faults);
        faults.PowerLoss(names);
      }
      SCOPED_TRACE(
          scenario.name + ": crash at operation " + std::to_string(n) +
          (names == TFaultyFileSystem::TNames::kKept ? ", names kept" : ", unsynced names lost") +
          (recover ? ", then recovered" : "") + trace);
      if (!recover) {
        // The next open discards what the crash left: the store is as before or as after.
        EXPECT_TRUE(HoldsModel(states.front()) || HoldsModel(states.back()));
      } else {
        // Recovering gives back what the last Flush (or the close) made durable: a state the
        // scenario passed through.
        // The container may hold any state's password by now: the one that opens it is tried.
        bool opened = false;
        for (const TStoreModel& state : states) {
          TKES store;
          store.SetReadOnly(true);  // recovering writes the container, the store itself does not
          store.Password = state.password;
          store.OnStaleSession = [](TKES&, const TStaleSessionInfo&) {
            return TStaleChoice::kRecover;
          };
          try {
            store.SetFileName(StorePath());
          } catch (const EKESInvalidPW&) {
            continue;
          }
          opened = true;
          recoveries += static_cast<int>(store.RecoveredNames().size());
          EXPECT_LE(store.RecoveredNames().size(), 1u);
          for (const std::string& name : store.RecoveredNames()) EXPECT_EQ(name, StorePath());
          break;
        }
        EXPECT_TRUE(opened);
        EXPECT_TRUE(HoldsPassedState(scenario, states))
            << "the store holds a state the scenario never passed through";
      }
      EXPECT_EQ(StrayFiles(), std::vector<std::string>{});
    }
  }
  // A Flush leaves a session to recover from a crash after it.
  const bool flushes = std::any_of(scenario.steps.begin(), scenario.steps.end(),
                                   [](const TStep& step) { return step.name == "flush"; });
  if (flushes) {
    EXPECT_GT(recoveries, 0);
  }
}

void FaultMatrixTest::RunErrorMatrix(const TScenario& scenario) {
  const int total = CountOperations(scenario);
  const std::vector<TStoreModel> states = States(scenario);
  const std::vector<std::string> folders{Dir(), Path("tmp")};
  for (int n = 1; n <= total; ++n) {
    for (const bool forever : {false, true}) {
      RestoreBefore(StorePath(), before_bytes_, folders);
      SCOPED_TRACE(scenario.name + ": operation " + std::to_string(n) + " fails" +
                   (forever ? " from then on" : " once"));
      bool failed = false;
      {
        TFaultyFileSystem faults(folders);
        faults.FailAt(n, EIO, forever);
        {
          TKES store;
          try {
            RunScenario(scenario, store);
          } catch (const std::exception&) {
            failed = true;
          }
          if (failed) {
            // Only a folder sync after the new container took the old one's place comes too late
            // to keep the old container; the close still fails, as the new one may not survive a
            // power failure, and the store stays open (checked by the retry below).
            const std::string failed_operation = faults.Log().at(static_cast<size_t>(n - 1));
            if (failed_operation != "syncdir " + Dir()) {
              EXPECT_EQ(ReadBytes(StorePath()), before_bytes_) << Trace(faults);
            }
            // A fault that stays also keeps a temporary container from being deleted; the next
            // open sweeps it (checked below).
            if (!forever) {
              EXPECT_TRUE(TempFilesNamed(Dir(), "TDB").empty()) << Trace(faults);
            }
            // Once the fault is gone, the store that stayed open closes.
            faults.Heal();
            EXPECT_NO_THROW(store.SetFileName("")) << Trace(faults);
          } else {
            EXPECT_GE(faults.Failures(), 1);
          }
        }
        // A reported success is durable: it survives losing every name not yet synced.
        if (!failed) faults.PowerLoss(TFaultyFileSystem::TNames::kLastSynced);
      }
      if (failed) {
        EXPECT_TRUE(HoldsPassedState(scenario, states))
            << "the store holds a state the scenario never passed through";
      } else {
        EXPECT_TRUE(HoldsModel(states.back()));
      }
      EXPECT_EQ(StrayFiles(), std::vector<std::string>{});
    }
  }
}

}  // namespace sk::test
