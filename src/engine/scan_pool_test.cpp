// The scan pool's hand-over: a task nobody started is made by whoever finishes it, and
// a thread waiting for a task that a worker is making makes the queued ones meanwhile.
#include "engine/scan_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace crvl {
namespace {

struct Probe {
  std::thread::id ranOn;
  std::atomic<bool>* release = nullptr;  // set when the task runs
  std::atomic<bool>* wait = nullptr;     // the task runs until this is set (at most 10 s)
  std::atomic<bool> running{false};
};

void runProbe(void* context) noexcept {
  auto* probe = static_cast<Probe*>(context);
  probe->ranOn = std::this_thread::get_id();
  probe->running = true;
  if (probe->release != nullptr) probe->release->store(true);
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (probe->wait != nullptr && !probe->wait->load() && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

TEST(ScanPool, WhileAWorkerMakesATaskTheWaitingThreadMakesTheQueuedOnes) {
  ScanPool pool(2);  // the caller's thread and one worker
  ASSERT_TRUE(pool.hasWorkers());
  std::atomic<bool> released{false};
  Probe busy, second, third;
  busy.wait = &released;     // holds the worker until the last queued task has run
  third.release = &released;
  ScanTask tasks[3];
  Probe* probes[3] = {&busy, &second, &third};
  for (uint32_t i = 0; i < 3; ++i) {
    tasks[i].run = &runProbe;
    tasks[i].context = probes[i];
    tasks[i].key = {i};
  }
  pool.submit(tasks[0]);
  for (int i = 0; i < 10000 && !busy.running; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(busy.running) << "the worker never took the first task";
  pool.submit(tasks[1]);
  pool.submit(tasks[2]);
  pool.finish(tasks[0]);
  EXPECT_EQ(second.ranOn, std::this_thread::get_id());
  EXPECT_EQ(third.ranOn, std::this_thread::get_id());
  EXPECT_NE(busy.ranOn, std::this_thread::get_id());
  pool.finish(tasks[1]);
  pool.finish(tasks[2]);
}

TEST(ScanPool, WithoutWorkersEveryTaskIsMadeByFinish) {
  ScanPool pool(1);
  EXPECT_FALSE(pool.hasWorkers());
  Probe probe;
  ScanTask task;
  task.run = &runProbe;
  task.context = &probe;
  pool.submit(task);
  EXPECT_FALSE(probe.running);
  pool.finish(task);
  EXPECT_EQ(probe.ranOn, std::this_thread::get_id());
}

}  // namespace
}  // namespace crvl
