#include "platform/contained_calls.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <thread>

namespace crvl::platform {
namespace {

// An address no process maps: the store faults without any sanitizer seeing a null
// pointer first.
volatile uintptr_t g_unmapped = 16;

void faultingStore(void* context) {
  ++*static_cast<int*>(context);
  *reinterpret_cast<volatile int*>(g_unmapped) = 1;
  ++*static_cast<int*>(context);  // never reached
}

void countingCall(void* context) { ++*static_cast<int*>(context); }

struct Nested {
  int outerSteps = 0;
  bool innerReturned = true;
};

void nestedFault(void* context) {
  auto* n = static_cast<Nested*>(context);
  int innerSteps = 0;
  n->innerReturned = runContained(&faultingStore, &innerSteps);
  ++n->outerSteps;  // the outer call goes on after the inner one faulted
}

TEST(ContainedCalls, AFaultReturnsToTheCallerAndLaterCallsStillWork) {
  for (int round = 0; round < 3; ++round) {
    int steps = 0;
    EXPECT_FALSE(runContained(&faultingStore, &steps));
    EXPECT_EQ(steps, 1);  // ran up to the fault, not past it
    int calls = 0;
    EXPECT_TRUE(runContained(&countingCall, &calls));
    EXPECT_EQ(calls, 1);
  }
}

TEST(ContainedCalls, NestedCallsReturnToTheirOwnCaller) {
  Nested n;
  EXPECT_TRUE(runContained(&nestedFault, &n));
  EXPECT_FALSE(n.innerReturned);
  EXPECT_EQ(n.outerSteps, 1);
}

TEST(ContainedCalls, EachThreadHasItsOwnRecoveryPoint) {
  bool results[2] = {true, true};
  int steps[2] = {0, 0};
  std::thread a([&] { results[0] = runContained(&faultingStore, &steps[0]); });
  std::thread b([&] { results[1] = runContained(&countingCall, &steps[1]); });
  a.join();
  b.join();
  EXPECT_FALSE(results[0]);
  EXPECT_TRUE(results[1]);
  EXPECT_EQ(steps[0], 1);
  EXPECT_EQ(steps[1], 1);
}

}  // namespace
}  // namespace crvl::platform
