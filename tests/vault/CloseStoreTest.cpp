// Closing a store with a report: where the container went, and nothing said when it went home.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "platform/Files.h"
#include "tests/store/StoreTestUtil.h"
#include "vault/CloseStore.h"

namespace sk {
namespace {

class CloseStoreTest : public test::StoreTest {};

TEST_F(CloseStoreTest, ReportsTheStoreAndWhereItWasWritten) {
  TKES store;
  EXPECT_EQ(CloseStoreWithReport(store).file_name, "");  // nothing open, nothing done
  store.SetFileName(Path("home"));
  const TCloseReport report = CloseStoreWithReport(store);
  EXPECT_EQ(report.file_name, Path("home.kes"));
  EXPECT_EQ(report.written_name, Path("home.kes"));
  EXPECT_FALSE(report.SavedElsewhere());
  EXPECT_TRUE(store.FileName().empty());
}

TEST_F(CloseStoreTest, AContainerChangedOnDiskIsKeptAndTheReportNamesTheNewFile) {
  TKES store;
  store.SetFileName(Path("shared.skd"));
  // Another writer replaces the container while it is open.
  test::WriteBytes(Path("shared.skd"), test::ReadBytes(Path("shared.skd")));
  const struct timespec later[2] = {{0, UTIME_OMIT}, {2000000000, 0}};
  ::utimensat(AT_FDCWD, Path("shared.skd").c_str(), later, 0);
  const TCloseReport report = CloseStoreWithReport(store);
  EXPECT_TRUE(report.SavedElsewhere());
  EXPECT_EQ(report.written_name, Path("1.shared.skd"));
}

TEST_F(CloseStoreTest, AReadOnlyStoreWritesNothingAndReportsNoName) {
  TKES store;
  store.SetFileName(Path("a.skd"));
  CloseStoreWithReport(store);
  store.SetReadOnly(true);
  store.SetFileName(Path("a.skd"));
  const TCloseReport report = CloseStoreWithReport(store);
  EXPECT_EQ(report.written_name, "");
  EXPECT_FALSE(report.SavedElsewhere());
}

}  // namespace
}  // namespace sk
