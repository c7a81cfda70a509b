// Termination signals are recorded, the first one kept, and the descriptor wakes an event loop.
#include "platform/TerminationSignals.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>

namespace sk {
namespace {

TEST(TerminationSignalsTest, TheFirstSignalIsRecordedAndTheDescriptorBecomesReadable) {
  CatchTerminationSignals();
  CatchTerminationSignals();  // a second call changes nothing
  EXPECT_EQ(PendingTerminationSignal(), 0);
  ASSERT_GE(TerminationSignalDescriptor(), 0);
  ASSERT_EQ(::raise(SIGHUP), 0);  // the process goes on: the handler only records it
  ASSERT_EQ(::raise(SIGTERM), 0);
  EXPECT_EQ(PendingTerminationSignal(), SIGHUP);
  pollfd watched{TerminationSignalDescriptor(), POLLIN, 0};
  EXPECT_EQ(::poll(&watched, 1, 0), 1);
}

}  // namespace
}  // namespace sk
