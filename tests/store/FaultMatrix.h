// Crash and I/O-error matrices for store operations: a scenario (open, some steps, close) runs
// once to count its file operations, then again for every operation N, crashing there or failing
// it, and the store found afterwards is compared item for item with what the scenario may leave.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "store/KES.h"
#include "tests/store/StoreTestUtil.h"

namespace sk::test {

// What a store holds as far as a user can tell: its password, its kind of protection and every
// item's exact bytes.
struct TStoreModel {
  std::map<std::string, Bytes> items;
  std::string password;
  bool strong = false;
  friend bool operator==(const TStoreModel&, const TStoreModel&) = default;
};

// One step of a scenario: what it does to the open store and what it does to the model.
struct TStep {
  std::string name;
  std::function<void(TKES&)> run;
  std::function<void(TStoreModel&)> expect;
  // For a step that may fail half-way into a state of its own (a copy kept under another key):
  // whether found is such a state, reached from before. Empty: only before and after are.
  std::function<bool(const TStoreModel& before, const TStoreModel& found)> accepts = {};
};

struct TScenario {
  std::string name;
  TStoreModel before;  // the store the scenario starts from (no items: no container at all)
  bool compression = false;
  std::vector<TStep> steps;  // run between the open and the close
};

TStep AddStep(const std::string& key, const Bytes& body);
TStep DeleteStep(const std::string& key);
TStep FlushStep();
TStep PackStep();
// A new password; the store keeps its kind of protection (an empty one removes it).
TStep PasswordStep(const std::string& password);
// A new password and the kind it protects with.
TStep StrongPasswordStep(const std::string& password, bool strong);

class FaultMatrixTest : public StoreTest {
 protected:
  // For every operation N of the scenario, a crash there followed by a power loss that keeps, or
  // drops, names whose folder was not synced: the next open finds exactly the store before or
  // after the scenario when it discards what the crash left, a state the scenario passed through
  // when it recovers it, and leaves no working or temporary file behind.
  void RunCrashMatrix(const TScenario& scenario);
  // For every operation N, failing it once and failing it from then on: either the scenario
  // reports the failure, with the container byte for byte as before and no temporary container
  // left, after which the store still closes once the fault is gone; or it reports success and
  // its result survives a power loss. Either way nothing is left behind after the next open.
  void RunErrorMatrix(const TScenario& scenario);

 private:
  std::string StorePath() const { return Path("matrix.kes"); }
  void WriteBefore(const TScenario& scenario);
  // Runs open, the steps and close on a store of its own; raises what they raise.
  void RunScenario(const TScenario& scenario, TKES& store);
  int CountOperations(const TScenario& scenario);
  // The store at StorePath() opened read-only with password; nullopt when it will not open.
  std::optional<TStoreModel> Contents(const std::string& password);
  bool HoldsModel(const TStoreModel& model);
  // Whether the store holds a state the scenario passes through: before, after a step, or one a
  // step accepts as its own.
  bool HoldsPassedState(const TScenario& scenario, const std::vector<TStoreModel>& states);
  // The models the scenario passes through: before, after each step.
  std::vector<TStoreModel> States(const TScenario& scenario) const;
  // Files besides the container in the store's folder and in the temporary folder.
  std::vector<std::string> StrayFiles() const;

  Bytes before_bytes_;
};

}  // namespace sk::test
