// Every store operation that writes, crashed and failed at each of its file operations in turn:
// nothing the user had is ever lost, and no failure passes for a success.
#include "tests/store/FaultMatrix.h"

namespace sk::test {
namespace {

Bytes Body(char fill, size_t size) {
  Bytes body(size);
  for (size_t i = 0; i < size; ++i) body[i] = static_cast<uint8_t>(fill + i % 7);
  return body;
}

TStoreModel ThreeItems(const std::string& password = "", bool strong = false) {
  return {{{"alpha", Body('a', 300)}, {"beta", Body('b', 1200)}, {"gamma", Body('g', 40)}},
          password,
          strong};
}

// Small stores keep every matrix quick; each scenario opens, runs its steps and closes.
const TScenario kAddThenClose{
    "add, close", ThreeItems(), false, {AddStep("delta", Body('d', 500))}};
const TScenario kFlushedWork{
    "delete, flush, add, flush, close",
    ThreeItems(),
    false,
    {DeleteStep("beta"), FlushStep(), AddStep("epsilon", Body('e', 800)), FlushStep()}};
const TScenario kPack{
    "delete, pack, close", ThreeItems(), false, {DeleteStep("alpha"), PackStep()}};
const TScenario kCompressedAdd{
    "compressed add, close", ThreeItems(), true, {AddStep("zeta", Bytes(4000, 'z')), FlushStep()}};
const TScenario kPasswordChange{
    "password change, close", ThreeItems("old secret"), false, {PasswordStep("new secret")}};
const TScenario kProtect{"protect, close", ThreeItems(), false, {PasswordStep("secret")}};
// The strongly protected kind: its own open and close, and the changes of kind at close.
const TScenario kStrongWork{
    "strong: delete, flush, compressed add, pack, close",
    ThreeItems("secret", true),
    true,
    {DeleteStep("beta"), FlushStep(), AddStep("eta", Bytes(3000, 'e')), PackStep()}};
const TScenario kStrongPasswordChange{
    "strong password change, close", ThreeItems("old", true), false, {PasswordStep("new")}};
const TScenario kToStrong{
    "legacy to strong, close", ThreeItems("old"), false, {StrongPasswordStep("new", true)}};
const TScenario kStrongToPlain{
    "strong to plain, close", ThreeItems("old", true), false, {PasswordStep("")}};
const TScenario kCreate{
    "create, add, close", TStoreModel{}, false, {AddStep("first", Body('f', 600))}};

TEST_F(FaultMatrixTest, CrashDuringAddAndClose) {
  RunCrashMatrix(kAddThenClose);
}
TEST_F(FaultMatrixTest, CrashDuringFlushedWork) {
  RunCrashMatrix(kFlushedWork);
}
TEST_F(FaultMatrixTest, CrashDuringPack) {
  RunCrashMatrix(kPack);
}
TEST_F(FaultMatrixTest, CrashDuringCompressedAdd) {
  RunCrashMatrix(kCompressedAdd);
}
TEST_F(FaultMatrixTest, CrashDuringPasswordChange) {
  RunCrashMatrix(kPasswordChange);
}
TEST_F(FaultMatrixTest, CrashDuringProtection) {
  RunCrashMatrix(kProtect);
}
TEST_F(FaultMatrixTest, CrashDuringCreation) {
  RunCrashMatrix(kCreate);
}
TEST_F(FaultMatrixTest, CrashDuringStrongWork) {
  RunCrashMatrix(kStrongWork);
}
TEST_F(FaultMatrixTest, CrashDuringStrongPasswordChange) {
  RunCrashMatrix(kStrongPasswordChange);
}
TEST_F(FaultMatrixTest, CrashDuringChangeToStrong) {
  RunCrashMatrix(kToStrong);
}
TEST_F(FaultMatrixTest, CrashDuringChangeFromStrong) {
  RunCrashMatrix(kStrongToPlain);
}

TEST_F(FaultMatrixTest, ErrorsDuringAddAndClose) {
  RunErrorMatrix(kAddThenClose);
}
TEST_F(FaultMatrixTest, ErrorsDuringFlushedWork) {
  RunErrorMatrix(kFlushedWork);
}
TEST_F(FaultMatrixTest, ErrorsDuringPack) {
  RunErrorMatrix(kPack);
}
TEST_F(FaultMatrixTest, ErrorsDuringCompressedAdd) {
  RunErrorMatrix(kCompressedAdd);
}
TEST_F(FaultMatrixTest, ErrorsDuringPasswordChange) {
  RunErrorMatrix(kPasswordChange);
}
TEST_F(FaultMatrixTest, ErrorsDuringProtection) {
  RunErrorMatrix(kProtect);
}
TEST_F(FaultMatrixTest, ErrorsDuringStrongWork) {
  RunErrorMatrix(kStrongWork);
}
TEST_F(FaultMatrixTest, ErrorsDuringStrongPasswordChange) {
  RunErrorMatrix(kStrongPasswordChange);
}
TEST_F(FaultMatrixTest, ErrorsDuringChangeToStrong) {
  RunErrorMatrix(kToStrong);
}
TEST_F(FaultMatrixTest, ErrorsDuringChangeFromStrong) {
  RunErrorMatrix(kStrongToPlain);
}

}  // namespace
}  // namespace sk::test
